#include "workbench/qt/filelistbox.h"

#include <QApplication>
#include <QDir>
#include <QStyle>

#include "workbench/filelists.h"

namespace orn {

namespace {

QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::currentTextChanged, this, [this](const QString&) {
        if (!filling_ && currentItem() != nullptr) {
            emit FileSelected(FileName());
        }
    });
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem*) { emit FileActivated(FileName()); });
}

void TFileListBox::SetDirectory(const QString& directory) {
    directory_ = directory;
    Refill();
}

void TFileListBox::SetMask(const QString& mask) {
    mask_ = mask;
    Refill();
}

void TFileListBox::SetFileName(const QString& text) {
    const FileNameText parts = SplitFileNameText(text.toStdString(), directory_.toStdString());
    if (!parts.directory.empty()) {
        directory_ = FromStd(parts.directory);
    }
    if (!parts.mask.empty()) {
        mask_ = FromStd(parts.mask);
    }
    Refill();
    if (!parts.select.empty()) {
        const auto found = findItems(FromStd(parts.select), Qt::MatchFixedString);
        if (!found.isEmpty()) {
            setCurrentItem(found.first());
        }
    }
}

void TFileListBox::Refill() {
    std::string error;
    const auto names = ListFiles(directory_.toStdString(), mask_.toStdString(), &error);
    error_ = FromStd(error);
    filling_ = true;
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const std::string& name : names) {
        addItem(new QListWidgetItem(icon, FromStd(name)));
    }
    setCurrentRow(-1);
    filling_ = false;
    emit Refilled();
}

QString TFileListBox::FileName() const {
    const QListWidgetItem* item = currentItem();
    if (item == nullptr) {
        return {};
    }
    return QDir(directory_).filePath(item->text());
}

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QString target = item->data(Qt::UserRole).toString();
        if (target != directory_) {
            emit DirectoryRequested(target);
        }
    });
}

void TDirectoryListBox::ShowDirectory(const QString& directory) {
    directory_ = directory;
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirIcon);
    // The way down from the root, each step indented one more, then the subdirectories.
    QStringList steps;
    QString path = QDir::cleanPath(directory);
    for (QDir dir(path);;) {
        steps.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp()) {
            break;
        }
    }
    int depth = 0;
    QListWidgetItem* current = nullptr;
    for (const QString& step : steps) {
        const QString name = depth == 0 ? step : QDir(step).dirName();
        auto* item = new QListWidgetItem(open, QString(depth * 2, ' ') + name);
        item->setData(Qt::UserRole, step);
        addItem(item);
        current = item;
        ++depth;
    }
    for (const std::string& sub : ListDirectories(path.toStdString())) {
        auto* item = new QListWidgetItem(closed, QString(depth * 2, ' ') + FromStd(sub));
        item->setData(Qt::UserRole, QDir(path).filePath(FromStd(sub)));
        addItem(item);
    }
    setCurrentItem(current);
}

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!filling_ && index >= 0) {
            emit DriveRequested(itemData(index).toString());
        }
    });
}

void TDriveComboBox::ShowDirectory(const QString& directory) {
    filling_ = true;
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    int best = 0;
    int bestLength = -1;
    const std::string dir = directory.toStdString();
    for (const std::string& volume : MountedVolumes()) {
        addItem(icon, FromStd(volume), FromStd(volume));
        const bool holds = dir == volume || volume == "/" || dir.rfind(volume + "/", 0) == 0;
        if (holds && static_cast<int>(volume.size()) > bestLength) {
            best = count() - 1;
            bestLength = static_cast<int>(volume.size());
        }
    }
    setCurrentIndex(best);
    filling_ = false;
}

TFilterComboBox::TFilterComboBox(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentIndexChanged, this, [this](int) { emit MaskChanged(Mask()); });
}

void TFilterComboBox::SetFilter(const QString& filter) {
    blockSignals(true);
    clear();
    for (const auto& [caption, mask] : ParseFilter(filter.toStdString())) {
        addItem(FromStd(caption), FromStd(mask));
    }
    setCurrentIndex(count() > 0 ? 0 : -1);
    blockSignals(false);
}

QString TFilterComboBox::Mask() const {
    return currentData().toString();
}

}  // namespace orn
