#pragma once
// "Error options": one row of three self-saving check boxes per error kind, deciding whether
// the kind's lines go to the memo, to the log file and to the extra receiver.

#include <QDialog>
#include <string>

#include "settings/qt/zform.h"
#include "settings/qt/zinicomp.h"

class QLineEdit;
class QPushButton;
class QScrollArea;

namespace orn {

class TCommError;

// A check box that keeps its state and mirrors it into one switch of one kind.
class TzErrCheckBox : public TCheckBoxIni {
    Q_OBJECT

  public:
    TzErrCheckBox(QWidget* parent, TCommError* kind, int column);

    TCommError* CommError() const { return kind_; }
    // 0 Show, 1 Log, 2 Ext.
    int Column() const { return column_; }

  private:
    void Mirror();

    TCommError* kind_;
    int column_;
};

class TFormErrorOpt : public QDialog, public TzForm {
    Q_OBJECT

  public:
    explicit TFormErrorOpt(QWidget* parent = nullptr);

    const int ShowLeft = 10;
    const int LogLeft = 60;
    const int RowHeight = 20;
    int RowTop() const { return rowTop_; }

    // Adds the kind's row; stored states replace its switches.
    void AddErrorRow(TCommError& kind);
    // The kind whose Show box has exactly the name "Error_" + code + "Show" (letter case
    // ignored), or null.
    TCommError* FindError(const std::string& code) const;
    // The box of a row's column by its name, or null.
    TzErrCheckBox* Box(const std::string& name) const;

    QWidget* Rows() const { return rows_; }
    QLineEdit* EditLogFile() const { return editLogFile_; }
    QPushButton* ButtonClose() const { return buttonClose_; }

  private:
    QScrollArea* sbErrOpt_ = nullptr;
    QWidget* rows_ = nullptr;
    QLineEdit* editLogFile_ = nullptr;
    QPushButton* buttonClose_ = nullptr;
    int rowTop_ = 0;
};

}  // namespace orn
