#include "workbench/qt/sqlmemo.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>
#include <QTimer>

#include "workbench/qt/sqlhighlighter.h"

namespace orn {

TSqlMemo::TSqlMemo(QWidget* parent)
    : QPlainTextEdit(parent),
      completer_(new QCompleter(this)),
      model_(new QStringListModel(this)),
      pause_(new QTimer(this)) {
    pause_->setObjectName("CompletionPause");
    pause_->setSingleShot(true);
    pause_->setInterval(150);
    connect(pause_, &QTimer::timeout, this, [this] { Complete(false); });
    new TSqlHighlighter(document());
    completer_->setObjectName("SqlCompleter");
    completer_->setModel(model_);
    completer_->setWidget(this);
    // The core has chosen and ordered the names already.
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->setMaxVisibleItems(12);
    completer_->popup()->setObjectName("SqlCompletions");
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this, &TSqlMemo::Insert);
}

bool TSqlMemo::Complete(bool asked) {
    if (!Completions) {
        return false;
    }
    const QTextCursor cursor = textCursor();
    if (!asked) {
        // Most keys type no name worth a list: look before reading the whole statement.
        const QString line = cursor.block().text().left(cursor.positionInBlock());
        qsizetype word = line.size();
        while (word > 0 && (line[word - 1].isLetterOrNumber() || line[word - 1] == '_')) {
            --word;
        }
        if (line.size() - word < 2 && (word == 0 || line[word - 1] != '.')) {
            completer_->popup()->hide();
            return false;
        }
    }
    const QString text = toPlainText();
    const QString before = text.left(cursor.position());
    const std::string utf8 = text.toStdString();
    TCompletions found;
    try {
        found = Completions(utf8, static_cast<std::size_t>(before.toUtf8().size()));
    } catch (const std::exception&) {
        found = {};  // a directory that cannot be read offers nothing
    }
    const bool qualified = found.start > 0 && found.start <= utf8.size() &&
                           utf8[found.start - 1] == '.' && found.prefix.empty();
    if (found.words.empty() || (!asked && !qualified && found.prefix.size() < 2) ||
        (found.words.size() == 1 &&
         QString::fromStdString(found.words[0])
                 .compare(QString::fromStdString(found.prefix), Qt::CaseInsensitive) == 0)) {
        completer_->popup()->hide();
        return false;
    }
    replaceFrom_ = static_cast<int>(QString::fromUtf8(utf8.data(), found.start).size());
    QStringList words;
    for (const std::string& word : found.words) {
        words << QString::fromStdString(word);
    }
    model_->setStringList(words);
    QAbstractItemView* popup = completer_->popup();
    popup->setCurrentIndex(model_->index(0));
    QRect place = cursorRect();
    place.setWidth(popup->sizeHintForColumn(0) + popup->verticalScrollBar()->sizeHint().width() +
                   2 * popup->frameWidth());
    completer_->complete(place);
    return true;
}

void TSqlMemo::Insert(const QString& word) {
    QTextCursor cursor = textCursor();
    const int end = cursor.position();
    if (replaceFrom_ > end) {
        return;
    }
    cursor.setPosition(replaceFrom_);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.insertText(word);
    setTextCursor(cursor);
}

void TSqlMemo::keyPressEvent(QKeyEvent* event) {
    const bool listShown = completer_->popup()->isVisible();
    if (listShown) {
        switch (event->key()) {
            case Qt::Key_Enter:
            case Qt::Key_Return:
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_Escape:
                event->ignore();  // the list takes these
                return;
            default:
                break;
        }
    }
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::ControlModifier) {
        pause_->stop();
        Complete(true);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    const QString typed = event->text();
    const bool wordKey = typed.size() == 1 && (typed[0].isLetterOrNumber() || typed[0] == '_' ||
                                               typed[0] == '.' || typed[0] == '"');
    if (listShown && (wordKey || event->key() == Qt::Key_Backspace)) {
        Complete(true);
    } else if (wordKey) {
        pause_->start();
    } else {
        pause_->stop();
        completer_->popup()->hide();
    }
}

}  // namespace orn
