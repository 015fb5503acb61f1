#include "settings/qt/zform.h"

#include <QLayout>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace orn {

namespace {

constexpr const char* kFormProperty = "ornForm";
constexpr const char* kFormLoadedProperty = "ornFormLoaded";
constexpr const char* kOwnerProperty = "ornOwner";

// Lays every widget out now, parents before children, so that sizes set on a hidden form
// reach its children before a control measures its parent.
void SyncLayouts(QWidget* root) {
    std::vector<QWidget*> widgets{root};
    for (QWidget* w : root->findChildren<QWidget*>())
        widgets.push_back(w);
    for (QWidget* w : widgets) {
        if (QLayout* layout = w->layout()) {
            layout->invalidate();
            layout->activate();
        }
    }
}

std::function<void(const std::string&)>& LoadErrorHandler() {
    static std::function<void(const std::string&)> handler = [](const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
    };
    return handler;
}

bool OnOtherForm(const QObject* obj, const QObject* root) {
    for (const QObject* o = obj->parent(); o != nullptr && o != root; o = o->parent()) {
        if (IsForm(o))
            return true;
    }
    return false;
}

}  // namespace

TzForm::TzForm(QWidget* self) : self_(self) {
    MarkAsForm(self);
}

void TzForm::FormLoaded() {
    orn::FormLoaded(self_);
}

void SetLoadErrorHandler(std::function<void(const std::string&)> handler) {
    LoadErrorHandler() = std::move(handler);
}

void MarkAsForm(QWidget* widget) {
    widget->setProperty(kFormProperty, true);
}

bool IsForm(const QObject* obj) {
    return obj != nullptr && obj->property(kFormProperty).toBool();
}

void MarkAsOwner(QObject* component) {
    component->setProperty(kOwnerProperty, true);
}

bool IsOwner(const QObject* obj) {
    return obj != nullptr && (IsForm(obj) || obj->property(kOwnerProperty).toBool());
}

bool IsInLoadingForm(const QObject* obj) {
    for (const QObject* o = obj; o != nullptr; o = o->parent()) {
        if (IsForm(o))
            return !o->property(kFormLoadedProperty).toBool();
    }
    return false;
}

void FormLoaded(QWidget* root) {
    root->setProperty(kFormLoadedProperty, true);
    std::vector<TzPersistent*> controls;
    for (QObject* child : root->findChildren<QObject*>()) {
        // Controls of another form inside this one (a window parented to the main window) wait
        // for their own form's loaded step.
        auto* p = dynamic_cast<TzPersistent*>(child);
        if (p != nullptr && !OnOtherForm(child, root))
            controls.push_back(p);
    }
    std::sort(controls.begin(), controls.end(), [](TzPersistent* a, TzPersistent* b) {
        return a->CreationSerial() < b->CreationSerial();
    });
    for (TzPersistent* control : controls) {
        SyncLayouts(root);
        try {
            control->Loaded();
        } catch (const std::exception& e) {
            // A stored value that cannot be read must not keep the window from opening: the
            // control keeps its state and the others still load.
            LoadErrorHandler()(e.what());
        }
    }
}

TzPersistent::TzPersistent() {
    static std::atomic<std::uint64_t> next{0};
    serial_ = ++next;
}

}  // namespace orn
