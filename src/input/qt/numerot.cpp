#include "input/qt/numerot.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "input/qt/zComp.h"
#include "settings/qt/savepos.h"

namespace orn {

namespace {

// The block's captions, row by row; column 5 holds "Cancel", "<=", "=" and "OK".
const char* const kCaptions[4][5] = {
    {"7", "8", "9", "/", "Cancel"},
    {"4", "5", "6", "x", "<="},
    {"1", "2", "3", "-", "="},
    {"0", "+/-", ".", "+", "OK"},
};

// Screen scaling beyond what the platform's device pixel ratio already does: a desktop that
// reports a higher logical DPI gets proportionally larger buttons.
double UnitScale(const QWidget* w) {
    return std::max(1.0, w->logicalDpiY() / 96.0);
}

}  // namespace

void TLimitButton::mousePressEvent(QMouseEvent* event) {
    emit Pressed(event->button(), event->modifiers());
    event->accept();
}

void TLimitButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void TLimitButton::keyPressEvent(QKeyEvent* event) {
    // Space would check the radio button; the keypad reads keys itself.
    event->ignore();
}

TFormNumerot::TFormNumerot(QWidget* parent) : QDialog(parent), TzForm(this) {
    setObjectName("FormNumerot");
    setWindowTitle("Input");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    const double unit = UnitScale(this);
    QFont big = font();
    big.setPointSizeF(std::max(12.0, big.pointSizeF() * 1.5));
    big.setBold(true);
    setFont(big);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(int(16 * unit), int(8 * unit), int(16 * unit), int(12 * unit));
    labelPrompt_ = new QLabel(this);
    labelPrompt_->setObjectName("LabelPrompt");
    labelPrompt_->setWordWrap(true);
    outer->addWidget(labelPrompt_);

    auto* row = new QHBoxLayout;
    auto* limits = new QVBoxLayout;
    errorOver_ = new TLimitButton("Over", this);
    errorOver_->setObjectName("ErrorOver");
    errorUnder_ = new TLimitButton("Under", this);
    errorUnder_->setObjectName("ErrorUnder");
    for (TLimitButton* b : {errorOver_, errorUnder_}) {
        b->setStyleSheet("color: red;");
        b->setFocusPolicy(Qt::NoFocus);
    }
    counterOrig_ = new TCounter(this);
    counterOrig_->setObjectName("CounterOrig");
    counterOrig_->SetCaption("");
    counterOrig_->SetColor(QColor(0, 255, 0));
    counterOrig_->SetLabelWidth(0);
    // Shows where the ask started; nothing of it is stored.
    counterOrig_->Ini().IniSection = "-";
    counterOrig_->setMinimumSize(int(120 * unit), int(36 * unit));
    counterOrig_->SetOnClick([this] { Do([this] { calc_.InitOrig(); }); });
    limits->addWidget(errorOver_);
    limits->addWidget(counterOrig_);
    limits->addWidget(errorUnder_);
    row->addLayout(limits);
    labelTo_ = new QLabel("=>", this);
    labelTo_->setObjectName("LabelTo");
    row->addWidget(labelTo_);
    editLuku_ = new QLineEdit(this);
    editLuku_->setObjectName("EditLuku");
    editLuku_->setReadOnly(true);
    editLuku_->setAlignment(Qt::AlignRight);
    editLuku_->setMinimumHeight(int(40 * unit));
    row->addWidget(editLuku_, 1);
    auto* spin = new QVBoxLayout;
    spin->setSpacing(0);
    spinUp_ = new QToolButton(this);
    spinUp_->setObjectName("SpinButtonLukuUp");
    spinUp_->setArrowType(Qt::UpArrow);
    spinDown_ = new QToolButton(this);
    spinDown_->setObjectName("SpinButtonLukuDown");
    spinDown_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {spinUp_, spinDown_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(int(24 * unit), int(20 * unit));
        spin->addWidget(b);
    }
    connect(spinUp_, &QToolButton::clicked, this, [this] { Do([this] { calc_.Spin(+1); }); });
    connect(spinDown_, &QToolButton::clicked, this, [this] { Do([this] { calc_.Spin(-1); }); });
    row->addLayout(spin);
    outer->addLayout(row);

    auto* grid = new QGridLayout;
    BuildButtons(grid, unit);
    outer->addLayout(grid);

    connect(errorOver_, &TLimitButton::Pressed, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m) { LimitPressed(true, b, m); });
    connect(errorUnder_, &TLimitButton::Pressed, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m) { LimitPressed(false, b, m); });

    // The form sees every key first, whichever control has the focus.
    labelTo_->installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
    savePos_ = new TSavePos(this);
    savePos_->setObjectName("SavePos1");
    FormLoaded();
    Update();
}

TFormNumerot::~TFormNumerot() = default;

void TFormNumerot::BuildButtons(QGridLayout* grid, double unit) {
    grid->setHorizontalSpacing(int(13 * unit));
    grid->setVerticalSpacing(int(8 * unit));
    // Columns at 16, 88, 160, 240 and 320: the operators and the last column stand a little
    // apart from the digits.
    const int gridColumn[5] = {0, 1, 2, 4, 6};
    grid->setColumnMinimumWidth(3, int(8 * unit) - grid->horizontalSpacing());
    grid->setColumnMinimumWidth(5, int(8 * unit) - grid->horizontalSpacing());
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 5; ++c) {
            const QString caption = kCaptions[r][c];
            auto* button = new QPushButton(caption, this);
            button->setObjectName("Button" + caption);
            button->setMinimumSize(int((c == 4 ? 65 : 59) * unit), int(47 * unit));
            button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            button->setAutoDefault(false);
            button->setFocusPolicy(Qt::NoFocus);
            grid->addWidget(button, r, gridColumn[c]);
            if (caption.size() == 1 && caption[0].isDigit()) {
                button->setProperty("Tag", caption.toInt());
                connect(button, &QPushButton::clicked, this, &TFormNumerot::Button0Click);
            } else if (caption == "/" || caption == "x" || caption == "-" || caption == "+") {
                connect(button, &QPushButton::clicked, this, &TFormNumerot::ButtonMiinusClick);
            } else if (caption == "Cancel") {
                connect(button, &QPushButton::clicked, this, &QDialog::reject);
            } else if (caption == "<=") {
                connect(button, &QPushButton::clicked, this,
                        [this] { Do([this] { calc_.BS(); }); });
            } else if (caption == "=") {
                connect(button, &QPushButton::clicked, this,
                        [this] { Do([this] { calc_.CalcResult(); }); });
            } else if (caption == "+/-") {
                connect(button, &QPushButton::clicked, this,
                        [this] { Do([this] { calc_.ChangeSign(); }); });
            } else if (caption == ".") {
                connect(button, &QPushButton::clicked, this,
                        [this] { Do([this] { calc_.Decimal(); }); });
            } else if (caption == "OK") {
                buttonOK_ = button;
                button->setDefault(true);
                button->setFocusPolicy(Qt::StrongFocus);
                connect(button, &QPushButton::clicked, this, &TFormNumerot::OkClick);
            }
        }
    }
    const int gridPositions[] = {0, 1, 2, 4, 6};
    for (int column : gridPositions) {
        grid->setColumnStretch(column, 1);
    }
}

QPushButton* TFormNumerot::Button(const QString& caption) const {
    return findChild<QPushButton*>("Button" + caption);
}

template <typename Action>
void TFormNumerot::Do(Action action) {
    action();
    Update();
}

void TFormNumerot::Button0Click() {
    const int digit = sender()->property("Tag").toInt();
    Do([this, digit] { calc_.Number(digit); });
}

void TFormNumerot::ButtonMiinusClick() {
    const QString caption = static_cast<QPushButton*>(sender())->text();
    const char op = caption.isEmpty() ? ' ' : caption[0].toLatin1();
    Do([this, op] { calc_.Oper(op); });
}

void TFormNumerot::LimitPressed(bool over, Qt::MouseButton button,
                                Qt::KeyboardModifiers modifiers) {
    if (button == Qt::LeftButton) {
        Do([this, over] { calc_.SetToLimit(over); });
    } else if (button == Qt::RightButton && modifiers == Qt::ControlModifier) {
        Do([this, over] { calc_.LiftLimit(over); });
    }
}

void TFormNumerot::OkClick() {
    if (calc_.Accepted()) {
        accept();
    }
}

void TFormNumerot::PasteClipboard() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const std::string text = clipboard ? clipboard->text().toStdString() : std::string();
    if (!calc_.Paste(text)) {
        QApplication::beep();
    }
    Update();
}

void TFormNumerot::Update() {
    const std::string text = mask_ ? calc_.MaskedText() : calc_.Text();
    editLuku_->setText(QString::fromStdString(text));
    if (calc_.TextSelected()) {
        editLuku_->setSelection(0, std::min<int>(50, editLuku_->text().size()));
    } else {
        editLuku_->deselect();
        editLuku_->setCursorPosition(editLuku_->text().size());
    }
    errorOver_->setText(QString::fromStdString(calc_.OverCaption()));
    errorUnder_->setText(QString::fromStdString(calc_.UnderCaption()));
    errorOver_->setVisible(calc_.ShowOver());
    errorUnder_->setVisible(calc_.ShowUnder());
    buttonOK_->setVisible(calc_.ShowOK());
    if (buttonOK_->isVisible()) {
        buttonOK_->setFocus();
    }
}

void TFormNumerot::SetMask(bool mask) {
    mask_ = mask;
}

void TFormNumerot::BeginAsk(const std::string& prompt, double value, int desim, double minValue,
                            double maxValue) {
    calc_.Start(value, desim, minValue, maxValue);
    counterOrig_->SetDesim(desim);
    counterOrig_->SetValueQuiet(value);
    if (mask_) {
        counterOrig_->DisplayPanel()->setText(
            QString(static_cast<int>(counterOrig_->DisplayPanel()->text().size()), QChar('*')));
    }
    labelPrompt_->setText(QString::fromStdString(prompt));
    Update();
}

void TFormNumerot::EndAsk() {
    calc_.Stop();
    Update();
}

bool TFormNumerot::Ask(const std::string& prompt, double& value, int desim, double minValue,
                       double maxValue) {
    BeginAsk(prompt, value, desim, minValue, maxValue);
    bool accepted = false;
    while (exec() == QDialog::Accepted) {
        if (auto result = calc_.Accepted()) {
            value = *result;
            accepted = true;
            break;
        }
    }
    EndAsk();
    return accepted;
}

void TFormNumerot::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!calc_.Running()) {
        // Shown without an ask: there is nothing to enter.
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
        return;
    }
    Update();
}

bool TFormNumerot::FormKeyPress(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        PasteClipboard();
        return true;
    }
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (buttonOK_->isVisible()) {
                buttonOK_->click();
            }
            return true;
        case Qt::Key_Escape:
            reject();
            return true;
        case Qt::Key_Backspace:
            Do([this, event] {
                calc_.KeyPress((event->modifiers() & Qt::ControlModifier) ? 127 : 8);
            });
            return true;
        case Qt::Key_Delete:
            return true;
        default:
            break;
    }
    const QString text = event->text();
    if (text.isEmpty()) {
        return false;  // Tab, arrows and the like move the focus as usual
    }
    if (text.size() == 1 && text[0].unicode() < 128 &&
        !(event->modifiers() & Qt::ControlModifier)) {
        const char c = static_cast<char>(text[0].unicode());
        Do([this, c] { calc_.KeyPress(c); });
    }
    return true;
}

bool TFormNumerot::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        if (FormKeyPress(static_cast<QKeyEvent*>(event))) {
            return true;
        }
    } else if (event->type() == QEvent::ShortcutOverride) {
        // Keys the keypad reads must not become shortcuts of the focused control.
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty() || key->matches(QKeySequence::Paste)) {
            event->accept();
            return true;
        }
    } else if (watched == labelTo_ && event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Do([this] { calc_.InitOrig(); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormNumerot::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyPress(event)) {
        QDialog::keyPressEvent(event);
    }
}

namespace {

TDialogs* numberDialogs = nullptr;
TFormNumerot* sharedForm = nullptr;

}  // namespace

TFormNumerot& SharedNumerot() {
    if (sharedForm == nullptr) {
        sharedForm = new TFormNumerot(nullptr);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { DestroySharedNumerot(); });
    }
    return *sharedForm;
}

void DestroySharedNumerot() {
    delete sharedForm;
    sharedForm = nullptr;
}

TDialogs* SetNumberDialogs(TDialogs* dialogs) {
    TDialogs* previous = numberDialogs;
    numberDialogs = dialogs;
    return previous;
}

bool AskNumberOnKeypad(const NumberRequest& request, double& value) {
    TFormNumerot& form = SharedNumerot();
    form.SetMask(request.mask);
    double v = value;
    const bool ok =
        form.Ask(request.prompt, v, request.decimals, request.minValue, request.maxValue);
    form.SetMask(false);
    if (ok) {
        value = v;
    }
    return ok;
}

bool AskNumber(const std::string& prompt, double& value, int desim, double minValue,
               double maxValue, bool mask) {
    NumberRequest request;
    request.prompt = prompt;
    request.value = value;
    request.decimals = desim;
    request.minValue = minValue;
    request.maxValue = maxValue;
    request.mask = mask;
    if (numberDialogs != nullptr) {
        return numberDialogs->AskNumber(request, value);
    }
    return AskNumberOnKeypad(request, value);
}

}  // namespace orn
