#include "workbench/qt/sqlhighlighter.h"

#include <QGuiApplication>
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

TSqlHighlighter::TSqlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    // Colours that read on light and dark themes alike.
    const bool dark = QGuiApplication::palette().color(QPalette::Base).lightness() < 128;
    keyword_.setForeground(dark ? QColor(0x7a, 0xb6, 0xff) : QColor(0x00, 0x3d, 0xa5));
    keyword_.setFontWeight(QFont::Bold);
    string_.setForeground(dark ? QColor(0xe6, 0xa4, 0x6a) : QColor(0xa3, 0x15, 0x15));
    name_.setForeground(dark ? QColor(0x9c, 0xdc, 0xaa) : QColor(0x26, 0x7f, 0x3c));
    number_.setForeground(dark ? QColor(0xc5, 0x8a, 0xf9) : QColor(0x7a, 0x3e, 0x9d));
    comment_.setForeground(dark ? QColor(0x8a, 0x8a, 0x8a) : QColor(0x6a, 0x73, 0x7d));
    comment_.setFontItalic(true);
    parameter_.setForeground(dark ? QColor(0xff, 0xd7, 0x00) : QColor(0x9a, 0x6a, 0x00));
}

void TSqlHighlighter::highlightBlock(const QString& text) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    setCurrentBlockState(kNormal);
    if (previousBlockState() == kInComment) {
        const qsizetype end = text.indexOf("*/");
        if (end < 0) {
            setFormat(0, static_cast<int>(n), comment_);
            setCurrentBlockState(kInComment);
            return;
        }
        setFormat(0, static_cast<int>(end + 2), comment_);
        i = end + 2;
    }
    while (i < n) {
        const QChar c = text[i];
        if (c == '-' && i + 1 < n && text[i + 1] == '-') {
            setFormat(static_cast<int>(i), static_cast<int>(n - i), comment_);
            return;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            const qsizetype end = text.indexOf("*/", i + 2);
            if (end < 0) {
                setFormat(static_cast<int>(i), static_cast<int>(n - i), comment_);
                setCurrentBlockState(kInComment);
                return;
            }
            setFormat(static_cast<int>(i), static_cast<int>(end + 2 - i), comment_);
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
            setFormat(static_cast<int>(i), static_cast<int>(end - i), c == '\'' ? string_ : name_);
            i = end;
            continue;
        }
        if (c == ':' && i + 1 < n && (text[i + 1].isLetter() || text[i + 1] == '_')) {
            qsizetype j = i + 1;
            while (j < n && IsWordChar(text[j])) {
                ++j;
            }
            setFormat(static_cast<int>(i), static_cast<int>(j - i), parameter_);
            i = j;
            continue;
        }
        if (c.isDigit()) {
            qsizetype j = i;
            while (j < n && (text[j].isDigit() || text[j] == '.')) {
                ++j;
            }
            if (i == 0 || !IsWordChar(text[i - 1])) {
                setFormat(static_cast<int>(i), static_cast<int>(j - i), number_);
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
                setFormat(static_cast<int>(i), static_cast<int>(j - i), keyword_);
            }
            i = j;
            continue;
        }
        ++i;
    }
}

}  // namespace orn
