#pragma once
// SQL colouring for the statement boxes: key words, quoted names and texts, numbers, parameters
// and comments ("--" to the line end, "/* */" across lines). Only the lines that change are
// coloured again, so typing stays quick in long statements.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class QLineEdit;

namespace orn {

enum class SqlToken { Keyword, String, Name, Number, Comment, Parameter };

struct TSqlSpan {
    int start;
    int length;
    SqlToken kind;
};

// The coloured pieces of one line. `inComment` tells whether the line starts inside a "/* */"
// comment and, on return, whether the next one does.
QList<TSqlSpan> SqlSpans(const QString& line, bool& inComment);
// How a kind of piece is drawn; colours that read on light and dark themes alike.
QTextCharFormat SqlFormat(SqlToken kind);

class TSqlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

  public:
    explicit TSqlHighlighter(QTextDocument* document);

    // The key words coloured (upper case).
    static const QStringList& KeyWords();

  protected:
    void highlightBlock(const QString& text) override;
};

// The same colouring in a one-line edit (the SQL box of the query window). A line edit has no
// document to colour, so the pieces are handed to it as input-method formats, which it draws
// over its text without changing the text, the cursor, the undo steps or a combo box's list.
class TLineSqlHighlighter : public QObject {
    Q_OBJECT

  public:
    explicit TLineSqlHighlighter(QLineEdit* edit);

    // The pieces coloured now (for tests).
    const QList<TSqlSpan>& Spans() const { return spans_; }
    void Rehighlight();

  private:
    QPointer<QLineEdit> edit_;
    QList<TSqlSpan> spans_;
};

}  // namespace orn
