#pragma once
// SQL colouring for the statement boxes: key words, quoted names and texts, numbers, parameters
// and comments ("--" to the line end, "/* */" across lines). Only the lines that change are
// coloured again, so typing stays quick in long statements.

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace orn {

class TSqlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

  public:
    explicit TSqlHighlighter(QTextDocument* document);

    // The key words coloured (upper case).
    static const QStringList& KeyWords();

  protected:
    void highlightBlock(const QString& text) override;

  private:
    QTextCharFormat keyword_;
    QTextCharFormat string_;
    QTextCharFormat name_;
    QTextCharFormat number_;
    QTextCharFormat comment_;
    QTextCharFormat parameter_;
};

}  // namespace orn
