#include "workbench/qt/qtclipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <stdexcept>

namespace orn {

namespace {

QClipboard& Board() {
    QClipboard* board = QGuiApplication::clipboard();
    if (board == nullptr) {
        throw std::runtime_error("Cannot open clipboard");
    }
    return *board;
}

}  // namespace

std::string TQtClipboard::Text() {
    const QMimeData* data = Board().mimeData();
    if (data == nullptr || !data->hasText()) {
        return {};
    }
    return data->text().toStdString();
}

void TQtClipboard::SetText(const std::string& text) {
    Board().setText(QString::fromStdString(text));
}

}  // namespace orn
