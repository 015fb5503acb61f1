#pragma once

#include <cstdint>
#include <functional>
#include <string>

class QObject;
class QWidget;

namespace orn {

// Forms are the top-level windows of ORN. A form class derives from a Qt widget class and from
// TzForm, passing itself: `class TFormQuery : public QMainWindow, public TzForm` with
// `TzForm(this)` in its constructor. Once the form has built all its children it calls
// FormLoaded(); that is the loaded notification of every persistent control on it.
class TzForm {
  public:
    explicit TzForm(QWidget* self);
    virtual ~TzForm() = default;
    TzForm(const TzForm&) = delete;
    TzForm& operator=(const TzForm&) = delete;

    void FormLoaded();

  private:
    QWidget* self_;
};

// Marks a widget as a form (what TzForm does); for windows that cannot derive from TzForm.
void MarkAsForm(QWidget* widget);
// True for a widget marked as a form; stays true while the form is being destroyed, so that
// controls saving in their destructors still find their form.
bool IsForm(const QObject* obj);
// Marks a component that owns the controls built inside it, the way a form does, without being
// a form: its name becomes part of their settings keys ("Frame." in front). Qt containers that
// only lay controls out (panels, splitters, tab pages, scroll areas) are not marked, so a control
// keeps the key of its own name whichever containers sit between it and its form.
void MarkAsOwner(QObject* component);
// True for a form and for a component marked by MarkAsOwner.
bool IsOwner(const QObject* obj);
// Runs the loaded notification of every persistent control below root, in creation order.
// Until then the controls of a form count as loading and save nothing.
void FormLoaded(QWidget* root);
// Where FormLoaded reports a control whose stored value could not be read (a store error);
// standard error unless set. The program points it at its error reporting.
void SetLoadErrorHandler(std::function<void(const std::string&)> handler);
// Whether obj sits on a form whose FormLoaded has not run yet.
bool IsInLoadingForm(const QObject* obj);

// A control that loads its stored state in the loaded notification.
class TzPersistent {
  public:
    TzPersistent();
    virtual ~TzPersistent() = default;
    virtual void Loaded() = 0;
    std::uint64_t CreationSerial() const { return serial_; }

  private:
    std::uint64_t serial_;
};

}  // namespace orn
