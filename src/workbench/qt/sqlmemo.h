#pragma once
// The statement memo: SQL colouring, and completion of table and field names. Names pop up
// when typing pauses after two letters of a word or a qualifier's dot, and at Ctrl+Space at any
// time; while the list shows it follows every key. Enter or Tab takes the chosen name, Escape
// or typing on leaves it.

#include <QPlainTextEdit>
#include <functional>
#include <string>

#include "workbench/sqlcompletion.h"

class QCompleter;
class QTimer;
class QStringListModel;

namespace orn {

class TSqlMemo : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit TSqlMemo(QWidget* parent = nullptr);

    // What fits at a cursor (a byte offset into the UTF-8 text); nothing is offered without it.
    std::function<TCompletions(const std::string& text, std::size_t cursor)> Completions;

    QCompleter* Completer() const { return completer_; }
    // Runs out after the last key typed; the list is looked for then (a long statement is not
    // read at every key of a fast typist).
    QTimer* Pause() const { return pause_; }
    // Offers the names that fit the word at the cursor; `asked` offers them even for a word
    // shorter than two letters. False when nothing fits (the list is then hidden).
    bool Complete(bool asked);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Insert(const QString& word);

    QCompleter* completer_;
    QStringListModel* model_;
    QTimer* pause_;
    int replaceFrom_ = 0;  // where the word the list completes begins
};

}  // namespace orn
