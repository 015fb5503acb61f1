#include "workbench/qt/sqlhighlighter.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPalette>
#include <QSet>

namespace orn {

namespace {

enum BlockState { kNormal = 0, kInComment = 1 };

const QSet<QString>& KeyWordSet() {
    static const QSet<QString> set = [] {
        QSet<QString> s;
        for (const QString& k : TSqlHighlighter::KeyWords()) {
            s.insert(k);
        }
        return s;
    }();
    return set;
}

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == '_';
}

}  // namespace

const QStringList& TSqlHighlighter::KeyWords() {
    static const QStringList words = {
        "ADD",       "ALL",    "ALTER",     "AND",     "AS",    "ASC",       "AVG",     "BETWEEN",
        "BY",        "CASE",   "CAST",      "CHAR",    "COUNT", "CREATE",    "CROSS",   "DATE",
        "DELETE",    "DESC",   "DISTINCT",  "DROP",    "ELSE",  "END",       "ESCAPE",  "EXISTS",
        "EXTRACT",   "FOR",    "FROM",      "FULL",    "GROUP", "HAVING",    "IN",      "INDEX",
        "INNER",     "INSERT", "INTEGER",   "INTO",    "IS",    "JOIN",      "KEY",     "LEFT",
        "LIKE",      "LOWER",  "MAX",       "MIN",     "NOT",   "NULL",      "NUMERIC", "ON",
        "OR",        "ORDER",  "OUTER",     "PRIMARY", "RIGHT", "SELECT",    "SET",     "SMALLINT",
        "SUBSTRING", "SUM",    "TABLE",     "THEN",    "TIME",  "TIMESTAMP", "TRIM",    "UNION",
        "UPDATE",    "UPPER",  "VALUES",    "VARCHAR", "WHEN",  "WHERE",     "YEAR",    "MONTH",
        "DAY",       "BLOB",   "BOOLEAN",   "DECIMAL", "FLOAT", "MONEY",     "AUTOINC", "CHARACTER",
        "VARYING",   "DOUBLE", "PRECISION", "TRUE",    "FALSE"};
    return words;
}

QTextCharFormat SqlFormat(SqlToken kind) {
    const bool dark = QGuiApplication::palette().color(QPalette::Base).lightness() < 128;
    QTextCharFormat format;
    switch (kind) {
        case SqlToken::Keyword:
            format.setForeground(dark ? QColor(0x7a, 0xb6, 0xff) : QColor(0x00, 0x3d, 0xa5));
            format.setFontWeight(QFont::Bold);
            break;
        case SqlToken::String:
            format.setForeground(dark ? QColor(0xe6, 0xa4, 0x6a) : QColor(0xa3, 0x15, 0x15));
            break;
        case SqlToken::Name:
            format.setForeground(dark ? QColor(0x9c, 0xdc, 0xaa) : QColor(0x26, 0x7f, 0x3c));
            break;
        case SqlToken::Number:
            format.setForeground(dark ? QColor(0xc5, 0x8a, 0xf9) : QColor(0x7a, 0x3e, 0x9d));
            break;
        case SqlToken::Comment:
            format.setForeground(dark ? QColor(0x8a, 0x8a, 0x8a) : QColor(0x6a, 0x73, 0x7d));
            format.setFontItalic(true);
            break;
        case SqlToken::Parameter:
            format.setForeground(dark ? QColor(0xff, 0xd7, 0x00) : QColor(0x9a, 0x6a, 0x00));
            break;
    }
    return format;
}

QList<TSqlSpan> SqlSpans(const QString& text, bool& inComment) {
    QList<TSqlSpan> spans;
    const auto add = [&spans](qsizetype start, qsizetype length, SqlToken kind) {
        spans.append({static_cast<int>(start), static_cast<int>(length), kind});
    };
    const qsizetype n = text.size();
    qsizetype i = 0;
    if (inComment) {
        const qsizetype end = text.indexOf("*/");
        if (end < 0) {
            add(0, n, SqlToken::Comment);
            return spans;
        }
        add(0, end + 2, SqlToken::Comment);
        i = end + 2;
        inComment = false;
    }
    while (i < n) {
        const QChar c = text[i];
        if (c == '-' && i + 1 < n && text[i + 1] == '-') {
            add(i, n - i, SqlToken::Comment);
            return spans;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            const qsizetype end = text.indexOf("*/", i + 2);
            if (end < 0) {
                add(i, n - i, SqlToken::Comment);
                inComment = true;
                return spans;
            }
            add(i, end + 2 - i, SqlToken::Comment);
            i = end + 2;
            continue;
        }
        if (c == '\'' || c == '"') {
            qsizetype j = i + 1;
            while (j < n) {
                if (text[j] == c) {
                    if (j + 1 < n && text[j + 1] == c) {
                        j += 2;  // a doubled quote stands for itself
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const qsizetype end = std::min(j + 1, n);
            add(i, end - i, c == '\'' ? SqlToken::String : SqlToken::Name);
            i = end;
            continue;
        }
        if (c == ':' && i + 1 < n && (text[i + 1].isLetter() || text[i + 1] == '_')) {
            qsizetype j = i + 1;
            while (j < n && IsWordChar(text[j])) {
                ++j;
            }
            add(i, j - i, SqlToken::Parameter);
            i = j;
            continue;
        }
        if (c.isDigit()) {
            qsizetype j = i;
            while (j < n && (text[j].isDigit() || text[j] == '.')) {
                ++j;
            }
            if (i == 0 || !IsWordChar(text[i - 1])) {
                add(i, j - i, SqlToken::Number);
            }
            i = j;
            continue;
        }
        if (c.isLetter() || c == '_') {
            qsizetype j = i;
            while (j < n && IsWordChar(text[j])) {
                ++j;
            }
            if (KeyWordSet().contains(text.mid(i, j - i).toUpper())) {
                add(i, j - i, SqlToken::Keyword);
            }
            i = j;
            continue;
        }
        ++i;
    }
    return spans;
}

TSqlHighlighter::TSqlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

void TSqlHighlighter::highlightBlock(const QString& text) {
    static const QTextCharFormat formats[] = {
        SqlFormat(SqlToken::Keyword), SqlFormat(SqlToken::String),  SqlFormat(SqlToken::Name),
        SqlFormat(SqlToken::Number),  SqlFormat(SqlToken::Comment), SqlFormat(SqlToken::Parameter)};
    bool inComment = previousBlockState() == kInComment;
    for (const TSqlSpan& span : SqlSpans(text, inComment)) {
        setFormat(span.start, span.length, formats[static_cast<int>(span.kind)]);
    }
    setCurrentBlockState(inComment ? kInComment : kNormal);
}

TLineSqlHighlighter::TLineSqlHighlighter(QLineEdit* edit) : QObject(edit), edit_(edit) {
    connect(edit, &QLineEdit::textChanged, this, &TLineSqlHighlighter::Rehighlight);
    Rehighlight();
}

void TLineSqlHighlighter::Rehighlight() {
    if (!edit_) {
        return;
    }
    bool inComment = false;
    spans_ = SqlSpans(edit_->text(), inComment);
    // Input-method positions count from the cursor.
    const int cursor = edit_->cursorPosition();
    QList<QInputMethodEvent::Attribute> attributes;
    attributes.reserve(spans_.size());
    for (const TSqlSpan& span : spans_) {
        attributes.append(QInputMethodEvent::Attribute(
            QInputMethodEvent::TextFormat, span.start - cursor, span.length, SqlFormat(span.kind)));
    }
    QInputMethodEvent event(QString(), attributes);
    QCoreApplication::sendEvent(edit_, &event);
}

}  // namespace orn
