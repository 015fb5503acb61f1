#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "settings/qt/zIniSave.h"
#include "settings/qt/zform.h"

namespace orn {

// Placed on a form (as its child), keeps the form's position and size: section "Pos", key the
// form's name, value "Left,Top,Width,Height". Loads in the form's loaded step and saves when
// destroyed (unless disabled). A form shown inside an MDI area keeps the geometry of its
// subwindow, in the area's coordinates: the stored value is applied to the subwindow when the
// form is first shown in it.
class TSavePos : public QObject, public TzPersistent {
    Q_OBJECT
    Q_PROPERTY(QString AsString READ AsString WRITE SetAsStringQ)
    Q_PROPERTY(bool NoPos MEMBER NoPos)
    Q_PROPERTY(bool NoSize MEMBER NoSize)
    Q_PROPERTY(bool Enabled MEMBER Enabled)

  public:
    explicit TSavePos(QObject* owner = nullptr);
    ~TSavePos() override;

    TIniSave& Ini() { return ini_; }
    QWidget* Form() const { return form_; }
    bool NoPos = false;
    bool NoSize = false;
    bool Enabled = true;

    void Loaded() override;
    // Empty without a form; otherwise the form's (or its subwindow's) Left,Top,Width,Height.
    std::string GetAsString() const;
    // Applies the items that are integers, then moves a form that lies off the primary screen
    // (a subwindow: off its area) back to 0 on that axis.
    void SetAsString(const std::string& text);
    // Saves now, while the form is whole; the save at destruction is then left out.
    void SaveNow();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The widget whose geometry is kept: the form, or the MDI subwindow that frames it.
    QWidget* Frame() const;
    void Apply(QWidget* frame, const std::string& text);

    QString AsString() const { return QString::fromStdString(GetAsString()); }
    void SetAsStringQ(const QString& text) { SetAsString(text.toStdString()); }

    QPointer<QWidget> form_;
    // Set while the form sits in an MDI subwindow; kept while that subwindow is destroyed.
    QPointer<QWidget> subWindow_;
    // The stored value, until the form is first shown (it may be framed by then).
    std::string pending_;
    bool saved_ = false;
    TIniSave ini_;
};

}  // namespace orn
