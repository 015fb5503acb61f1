#pragma once
// "Comment": asks a free comment for the error log, offering the comments typed before
// (Comments.txt, newest first).

#include <QDialog>
#include <string>

#include "errors/ErrorCom.h"
#include "settings/qt/zform.h"

class QComboBox;
class QPushButton;

namespace orn {

class TDialogs;

class TFormErrorComment : public QDialog, public TzForm {
    Q_OBJECT

  public:
    explicit TFormErrorComment(QWidget* parent = nullptr);

    // Fills the history from the file (a missing or unreadable one gives none) and empties
    // the text.
    void Begin();
    // After the dialog ended: true with the comment when it ended with OK on a text that is
    // not empty. A new text goes to the top of the history, which is written back; a write
    // error is shown through `dialogs` and gives false.
    bool Finish(bool accepted, std::string& comment, TDialogs* dialogs);
    // Removes the selected history entry (the file changes only with a later OK).
    void ButtonDeleteClick();

    QComboBox* CBComment() const { return cbComment_; }
    QPushButton* ButtonOK() const { return buttonOK_; }
    QPushButton* ButtonDelete() const { return buttonDelete_; }
    QPushButton* ButtonCancel() const { return buttonCancel_; }

  private:
    TCommentHistory history_;
    QComboBox* cbComment_ = nullptr;
    QPushButton* buttonOK_ = nullptr;
    QPushButton* buttonDelete_ = nullptr;
    QPushButton* buttonCancel_ = nullptr;
};

// Runs the comment dialog modally; `comment` is replaced only when the result is true.
bool AskComment(std::string& comment, TDialogs* dialogs = nullptr);

}  // namespace orn
