#include "input/qt/zComp.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPalette>
#include <climits>
#include <cmath>

#include "text/zdouble.h"
#include "text/zstring.h"

namespace orn {

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

double FiniteOrZero(double v) {
    return std::isfinite(v) ? v : 0;
}

}  // namespace

std::string CounterCaptionFromName(const std::string& prefix, const std::string& newName,
                                   const std::string& oldName, const std::string& caption) {
    if (caption.empty()) {
        return newName.size() > prefix.size() ? newName.substr(prefix.size()) : std::string();
    }
    // The caption ends the old name with a front part before it, found ignoring case.
    if (caption.size() < oldName.size() &&
        SameText(oldName.substr(oldName.size() - caption.size()), caption)) {
        std::string front = oldName.substr(0, oldName.size() - caption.size());
        if (StartsWithNoCase(newName, front)) {
            return newName.substr(front.size());
        }
    }
    if (StartsWithNoCase(caption, prefix)) {
        return caption.substr(prefix.size());
    }
    return caption;
}

TCounter::TCounter(QWidget* parent)
    : QFrame(parent), labelPanel_(new QLabel(this)), displayPanel_(new QLabel(this)), ini_(this) {
    ini_.PropName = "AsIniString";
    ini_.AutoSave = false;
    setFrameShape(QFrame::NoFrame);
    labelPanel_->setObjectName("LabelPanel");
    displayPanel_->setObjectName("DisplayPanel");
    labelPanel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    displayPanel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    displayPanel_->setFrameShape(QFrame::Panel);
    displayPanel_->setFrameShadow(QFrame::Sunken);
    displayPanel_->setLineWidth(bevelWidth_);
    displayPanel_->setAutoFillBackground(true);
    displayPanel_->setMargin(2);
    labelPanel_->installEventFilter(this);
    displayPanel_->installEventFilter(this);
    PaintDisplay();
    PlacePanels();
    connect(this, &QObject::objectNameChanged, this, &TCounter::OnNameChanged);
}

TCounter::~TCounter() {
    // The value is kept once more on the way out.
    ini_.Save();
}

void TCounter::Loaded() {
    ini_.LoadOnce();
}

void TCounter::SetValueAndMaybeSave(double v, bool save) {
    double old = value_;
    value_ = v;
    displayPanel_->setText(QString::fromStdString(AsString()));
    if (v != old) {
        if (save && ini_.AutoSave) {
            ini_.Save();
        }
        if (AfterChange) {
            double copy = v;
            AfterChange(*this, copy);
        }
    }
}

void TCounter::SetValue(double v) {
    SetValueAndMaybeSave(v, true);
}

void TCounter::SetValueQuiet(double v) {
    SetValueAndMaybeSave(v, false);
}

void TCounter::SetDesim(int desim) {
    desim_ = desim;
    SetValue(value_);
}

void TCounter::SetColor(const QColor& color) {
    color_ = color;
    PaintDisplay();
}

void TCounter::SetDisabledColor(const QColor& color) {
    disabledColor_ = color;
    PaintDisplay();
}

void TCounter::SetBevelWidth(int width) {
    bevelWidth_ = width;
    displayPanel_->setLineWidth(width < 0 ? 0 : width);
}

void TCounter::PaintDisplay() {
    QPalette palette = displayPanel_->palette();
    const QColor& fill = isEnabled() ? color_ : disabledColor_;
    palette.setColor(QPalette::Window, fill);
    // The text stays readable on the light field whatever the desktop theme is.
    palette.setColor(QPalette::WindowText, Qt::black);
    displayPanel_->setPalette(palette);
}

void TCounter::SetCaption(const std::string& caption) {
    labelPanel_->setText(QString::fromStdString(caption));
}

void TCounter::SetLAlign(TAlign align) {
    if (align == TAlign::Top || align == TAlign::Bottom || align == TAlign::Left ||
        align == TAlign::Right) {
        lAlign_ = align;
    }
    PlacePanels();
}

void TCounter::SetLabelWidth(int width) {
    labelWidth_ = width;
    PlacePanels();
}

void TCounter::SetLabelHeight(int height) {
    labelHeight_ = height;
    PlacePanels();
}

void TCounter::PlacePanels() {
    const QRect all = rect();
    const int w = std::clamp(labelWidth_, 0, std::max(0, all.width()));
    const int h = std::clamp(labelHeight_, 0, std::max(0, all.height()));
    QRect label;
    QRect display;
    switch (lAlign_) {
        case TAlign::Top:
            label = QRect(0, 0, all.width(), h);
            display = QRect(0, h, all.width(), all.height() - h);
            break;
        case TAlign::Bottom:
            label = QRect(0, all.height() - h, all.width(), h);
            display = QRect(0, 0, all.width(), all.height() - h);
            break;
        case TAlign::Right:
            label = QRect(all.width() - w, 0, w, all.height());
            display = QRect(0, 0, all.width() - w, all.height());
            break;
        default:
            label = QRect(0, 0, w, all.height());
            display = QRect(w, 0, all.width() - w, all.height());
            break;
    }
    labelPanel_->setGeometry(label);
    labelPanel_->setVisible(label.width() > 0 && label.height() > 0);
    displayPanel_->setGeometry(display);
}

void TCounter::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    PlacePanels();
}

void TCounter::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        PaintDisplay();
    }
}

void TCounter::Click() {
    if (onClick_) {
        onClick_();
    }
    emit Clicked();
}

void TCounter::mouseReleaseEvent(QMouseEvent* event) {
    QFrame::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Click();
    }
}

bool TCounter::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == labelPanel_ || watched == displayPanel_) &&
        event->type() == QEvent::MouseButtonRelease && isEnabled()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* panel = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton &&
            panel->rect().contains(mouse->position().toPoint())) {
            Click();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void TCounter::OnNameChanged(const QString& name) {
    std::string newName = name.toStdString();
    SetCaption(CounterCaptionFromName(GenericPrefix(), newName, name_, Caption()));
    name_ = newName;
}

std::string TCounter::AsString() const {
    return FormatNumber(desim_, value_);
}

void TCounter::SetAsString(const std::string& text) {
    SetValue(FiniteOrZero(TextToFloatDef(text, 0)));
}

std::string TCounter::AsIniString() const {
    return FormatDotNumber(desim_ + iniDesim_, value_);
}

void TCounter::SetAsIniString(const std::string& text) {
    SetValue(FiniteOrZero(DotTextToFloatDef(text, 0)));
}

int TCounter::AsInteger() const {
    double t = std::trunc(value_);
    if (std::isnan(t)) {
        return 0;
    }
    if (t >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (t <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(t);
}

}  // namespace orn
