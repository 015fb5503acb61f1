#pragma once
// The file and directory lists of the query window: a file list of one directory and mask, a
// directory list showing the way down from the root and the subdirectories to go into, a drive
// box of the mounted volumes, and a filter box that sets a file list's mask.

#include <QComboBox>
#include <QListWidget>
#include <QString>

namespace orn {

class TFileListBox : public QListWidget {
    Q_OBJECT

  public:
    explicit TFileListBox(QWidget* parent = nullptr);

    const QString& Directory() const { return directory_; }
    const QString& Mask() const { return mask_; }
    // Each refills the list (and reports Refilled).
    void SetDirectory(const QString& directory);
    void SetMask(const QString& mask);
    // A typed text: a directory part changes the directory, wildcards the mask, a plain name is
    // selected (see SplitFileNameText).
    void SetFileName(const QString& text);
    void Refill();
    // The selected file with its directory, or empty.
    QString FileName() const;
    // The error of the last refill ("" when the directory could be read).
    const QString& Error() const { return error_; }

  signals:
    // The list filled itself anew; nothing is selected then.
    void Refilled();
    // The user selected a file (full path).
    void FileSelected(const QString& fileName);
    void FileActivated(const QString& fileName);

  private:
    QString directory_;
    QString mask_;
    QString error_;
    bool filling_ = false;
};

class TDirectoryListBox : public QListWidget {
    Q_OBJECT

  public:
    explicit TDirectoryListBox(QWidget* parent = nullptr);
    const QString& Directory() const { return directory_; }
    // Shows `directory` (taken as it is: the window decides which directories are taken).
    void ShowDirectory(const QString& directory);

  signals:
    // The user chose another directory (double click or Enter on an entry).
    void DirectoryRequested(const QString& directory);

  private:
    QString directory_;
};

class TDriveComboBox : public QComboBox {
    Q_OBJECT

  public:
    explicit TDriveComboBox(QWidget* parent = nullptr);
    // Lists the mounted volumes again and selects the one holding `directory`.
    void ShowDirectory(const QString& directory);

  signals:
    void DriveRequested(const QString& mountPoint);

  private:
    bool filling_ = false;
};

class TFilterComboBox : public QComboBox {
    Q_OBJECT

  public:
    explicit TFilterComboBox(QWidget* parent = nullptr);
    // "Caption|mask|Caption|mask..."; the first filter is selected.
    void SetFilter(const QString& filter);
    QString Mask() const;

  signals:
    void MaskChanged(const QString& mask);
};

}  // namespace orn
