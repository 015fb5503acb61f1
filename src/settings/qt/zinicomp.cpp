#include "settings/qt/zinicomp.h"

#include <strings.h>

#include "settings/qt/zPropFunc.h"
#include "text/zstring.h"

namespace orn {

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           ::strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

std::size_t FindNoCase(const std::string& text, const std::string& part) {
    return LowerCase(text).find(LowerCase(part));
}

// What follows the first `skip` characters, at most 200 of them.
std::string RestAfter(const std::string& text, std::size_t skip) {
    return text.substr(skip, 200);
}

}  // namespace

TEditIni::TEditIni(QWidget* parent) : QLineEdit(parent), ini_(this) {
    ini_.AutoSave = true;
    ini_.PropName = "Text";
    clear();
    connect(this, &QLineEdit::textChanged, this, &TEditIni::OnTextChanged);
}

TEditIni::~TEditIni() {
    ini_.SaveOnce();
}

void TEditIni::Loaded() {
    ini_.LoadOnce();
}

void TEditIni::OnTextChanged(const QString& text) {
    emit Changed(text);
    ini_.SaveIfChanged();
}

TCheckBoxIni::TCheckBoxIni(QWidget* parent) : QCheckBox(parent), ini_(this) {
    ini_.AutoSave = true;
    connect(this, &QCheckBox::stateChanged, this, &TCheckBoxIni::OnStateChanged);
    connect(this, &QObject::objectNameChanged, this, &TCheckBoxIni::OnNameChanged);
}

TCheckBoxIni::~TCheckBoxIni() {
    ini_.SaveIfChanged();
}

void TCheckBoxIni::Loaded() {
    ini_.LoadOnce();
}

std::string TCheckBoxIni::GetAsString() const {
    switch (checkState()) {
        case Qt::Checked:
            return "1";
        case Qt::PartiallyChecked:
            return "2";
        default:
            return "0";
    }
}

void TCheckBoxIni::SetAsString(const std::string& text) {
    int n = 0;
    if (!TryStrToInt(Trim(text), n))
        n = 0;
    // Stored 0, 1, 2 are unchecked, checked, grayed (Qt numbers them 0, 2, 1).
    const Qt::CheckState states[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
    const Qt::CheckState state = states[ClampInt(n, 0, 2)];
    // Qt shows the grayed state only on a three-state box; such a box leaves it on the next
    // click and becomes two-state again.
    if (state == Qt::PartiallyChecked && !isTristate())
        grayedByCode_ = true;
    setCheckState(state);
}

void TCheckBoxIni::nextCheckState() {
    if (grayedByCode_) {
        grayedByCode_ = false;
        setTristate(false);
        setCheckState(Qt::Checked);
        return;
    }
    QCheckBox::nextCheckState();
}

void TCheckBoxIni::OnStateChanged(int state) {
    if (grayedByCode_ && state != Qt::PartiallyChecked) {
        // Code took the box out of the grayed state: it is a two-state box again, and the next
        // click toggles it as usual.
        grayedByCode_ = false;
        setTristate(false);
    }
    emit Changed(state);
    ini_.SaveIfChanged();
}

void TCheckBoxIni::OnNameChanged(const QString& name) {
    const std::string oldName = name_;
    const std::string newName = name.toStdString();
    name_ = newName;
    if (text().toStdString() == oldName)
        setText(name);
    setText(QString::fromStdString(CaptionFromName(this, newName, oldName, text().toStdString())));
}

std::string CaptionFromName(const QObject* c, const std::string& newName,
                            const std::string& oldName, const std::string& caption) {
    const std::string cls = ClassNameOf(c);
    const std::string prefix = cls.empty() ? std::string() : cls.substr(1, 50);
    if (oldName.empty() && caption.empty()) {
        return StartsWithNoCase(newName, prefix) ? RestAfter(newName, prefix.size()) : "";
    }
    const auto pos = caption.empty() ? std::string::npos : FindNoCase(oldName, caption);
    if (pos != std::string::npos && pos + caption.size() == oldName.size()) {
        const std::string head = oldName.substr(0, pos);
        if (!head.empty() && StartsWithNoCase(newName, head)) {
            return RestAfter(newName, head.size());
        }
    }
    return StartsWithNoCase(caption, prefix) ? RestAfter(caption, prefix.size()) : caption;
}

}  // namespace orn
