#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QString>

#include "settings/qt/zIniSave.h"
#include "settings/qt/zform.h"

namespace orn {

// A single-line edit box that keeps its text (key: its name without "EditIni" and what precedes
// it, section "<Form>-Params"). Each change is saved at once; nothing is written while the
// stored text is being applied.
class TEditIni : public QLineEdit, public TzPersistent {
    Q_OBJECT
    Q_PROPERTY(QString AsString READ text WRITE setText)
    Q_PROPERTY(QString Text READ text WRITE setText)

  public:
    explicit TEditIni(QWidget* parent = nullptr);
    ~TEditIni() override;

    TIniSave& Ini() { return ini_; }
    void Loaded() override;

  signals:
    // The change notification for the program's handlers: emitted on every text change, before
    // the new text is saved.
    void Changed(const QString& text);

  private:
    void OnTextChanged(const QString& text);

    TIniSave ini_;
};

// A check box that keeps its state as "0" unchecked, "1" checked, "2" grayed, and derives its
// caption from its name when the name changes (CaptionFromName).
class TCheckBoxIni : public QCheckBox, public TzPersistent {
    Q_OBJECT
    Q_PROPERTY(QString AsString READ AsStringQ WRITE SetAsStringQ)

  public:
    explicit TCheckBoxIni(QWidget* parent = nullptr);
    ~TCheckBoxIni() override;

    TIniSave& Ini() { return ini_; }
    void Loaded() override;

    virtual std::string GetAsString() const;
    // The integer in text limited to 0..2 (anything else is 0). "2" gives the grayed state even
    // when the user cannot click the box into it.
    virtual void SetAsString(const std::string& text);

  signals:
    // The click notification for the program's handlers: every change of state, by the user or
    // by code, before the new state is saved (a Qt::CheckState).
    void Changed(int state);

  protected:
    void nextCheckState() override;

  private:
    QString AsStringQ() const { return QString::fromStdString(GetAsString()); }
    void SetAsStringQ(const QString& text) { SetAsString(text.toStdString()); }
    void OnStateChanged(int state);
    void OnNameChanged(const QString& name);

    TIniSave ini_;
    std::string name_;
    bool grayedByCode_ = false;
};

// The caption a check box gets when renamed from oldName to newName. Letter case is ignored;
// "prefix" is the class name of c without its first character (at most 50 characters).
std::string CaptionFromName(const QObject* c, const std::string& newName,
                            const std::string& oldName, const std::string& caption);

}  // namespace orn
