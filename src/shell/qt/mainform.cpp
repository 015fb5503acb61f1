#include "shell/qt/mainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <filesystem>

#include "dbengine/sql/help_text.h"
#include "settings/qt/savepos.h"
#include "shell/qt/exec.h"
#include "shell/qt/sqlhelp.h"

namespace orn {

namespace {

// While a program runs, a close waits; this is how often it looks again.
constexpr int kCloseRetryMs = 50;
// Failed drops listed by name in the one box that reports them.
constexpr std::size_t kFailuresListed = 10;

bool IsDirectory(const std::string& name) {
    std::error_code ec;
    return std::filesystem::is_directory(name, ec);
}

std::string Absolute(const std::string& name) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(name, ec);
    return ec ? name : path.lexically_normal().string();
}

// Local files of a drop, in order; other URLs (web addresses) are no files to open.
std::vector<std::string> DroppedFiles(const QMimeData* data) {
    std::vector<std::string> names;
    if (data == nullptr) {
        return names;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            names.push_back(url.toLocalFile().toStdString());
        }
    }
    return names;
}

QString MenuText(int index, const QString& text) {
    return index < 9 ? QString("&%1 %2").arg(index + 1).arg(text)
                     : QString("%1 %2").arg(index + 1).arg(text);
}

// Takes every item out of a menu that is made anew; the fixed ones in `keep` live on, the others
// go once the menu is done with them (one of them may be the item being chosen).
void EmptyMenu(QMenu* menu, std::initializer_list<QAction*> keep) {
    for (QAction* action : menu->actions()) {
        menu->removeAction(action);
        if (std::find(keep.begin(), keep.end(), action) == keep.end()) {
            action->deleteLater();
        }
    }
}

}  // namespace

TFormORN::TFormORN(TDialogs& dialogs, TQueryFactory newQuery, QWidget* parent)
    : QMainWindow(parent), TzForm(this), dialogs_(dialogs), newQuery_(std::move(newQuery)) {
    setObjectName("FormORN");
    setWindowTitle("ORN");
    // Every window of the application shows the ORN icon unless the application set another.
    if (QApplication::windowIcon().isNull()) {
        QApplication::setWindowIcon(QIcon(":/orn/orn.svg"));
    }
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName("MdiArea");
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    setAcceptDrops(true);

    auto* tools = addToolBar("Tools");
    tools->setObjectName("ToolBar");
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* newButton = tools->addAction(QIcon::fromTheme("document-new"), "New");
    newButton->setObjectName("SpeedButtonNew");
    newButton->setToolTip("New query window");
    connect(newButton, &QAction::triggered, this, [this] { NewQuery(); });
    QAction* execButton = tools->addAction(QIcon::fromTheme("system-run"), "Exec");
    execButton->setObjectName("SpeedButtonExec");
    execButton->setToolTip("New statement window");
    connect(execButton, &QAction::triggered, this, [this] { NewExec(); });

    BuildMenus();
    recent_.Load();
    UpdateFileMenu();
    UpdateWindowMenu();

    resize(900, 640);
    savePos_ = new TSavePos(this);
    FormLoaded();
}

TFormORN::~TFormORN() = default;

void TFormORN::BuildMenus() {
    fileMenu_ = menuBar()->addMenu("&File");
    fileMenu_->setObjectName("MenuFile");
    newAction_ = new QAction("&New", this);
    newAction_->setObjectName("MenuNew");
    connect(newAction_, &QAction::triggered, this, [this] { NewQuery(); });
    exitAction_ = new QAction("E&xit", this);
    exitAction_->setObjectName("MenuExit");
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);
    connect(fileMenu_, &QMenu::aboutToShow, this, &TFormORN::UpdateFileMenu);

    windowMenu_ = menuBar()->addMenu("&Window");
    windowMenu_->setObjectName("MenuWindow");
    cascadeAction_ = new QAction("&Cascade", this);
    cascadeAction_->setObjectName("MenuCascade");
    connect(cascadeAction_, &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);
    tileAction_ = new QAction("&Tile", this);
    tileAction_->setObjectName("MenuTile");
    connect(tileAction_, &QAction::triggered, mdi_, &QMdiArea::tileSubWindows);
    connect(windowMenu_, &QMenu::aboutToShow, this, &TFormORN::UpdateWindowMenu);

    helpMenu_ = menuBar()->addMenu("&Help");
    helpMenu_->setObjectName("MenuHelp");
    QAction* sqlHelp = helpMenu_->addAction("SQL &Help");
    sqlHelp->setObjectName("MenuSQLHelp");
    sqlHelp->setShortcut(QKeySequence(Qt::Key_F1));
    connect(sqlHelp, &QAction::triggered, this, [this] { ShowSqlHelp(); });
    QAction* commands = helpMenu_->addAction("&Program Commands");
    commands->setObjectName("MenuProgramCommands");
    connect(commands, &QAction::triggered, this, &TFormORN::ShowProgramCommands);
}

void TFormORN::UpdateFileMenu() {
    EmptyMenu(fileMenu_, {newAction_, exitAction_});
    fileMenu_->addAction(newAction_);
    fileMenu_->addSeparator();
    const std::vector<std::string>& items = recent_.Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const QString path = QString::fromStdString(items[i]);
        const QString shown =
            fontMetrics().elidedText(path, Qt::ElideMiddle, fontMetrics().averageCharWidth() * 60);
        QAction* action = fileMenu_->addAction(MenuText(int(i), shown));
        action->setObjectName(QString("MenuRecent%1").arg(i));
        action->setToolTip(path);
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, name = items[i]] { OpenRecent(name); });
    }
    if (!items.empty()) {
        fileMenu_->addSeparator();
    }
    fileMenu_->addAction(exitAction_);
}

void TFormORN::UpdateWindowMenu() {
    EmptyMenu(windowMenu_, {cascadeAction_, tileAction_});
    windowMenu_->addAction(cascadeAction_);
    windowMenu_->addAction(tileAction_);
    const QList<QMdiSubWindow*> children = mdi_->subWindowList();
    if (!children.isEmpty()) {
        windowMenu_->addSeparator();
    }
    for (int i = 0; i < children.size(); ++i) {
        QMdiSubWindow* child = children[i];
        QAction* action = windowMenu_->addAction(MenuText(i, child->windowTitle()));
        action->setCheckable(true);
        action->setChecked(child == mdi_->activeSubWindow());
        connect(action, &QAction::triggered, this, [this, target = QPointer<QMdiSubWindow>(child)] {
            if (target) {
                mdi_->setActiveSubWindow(target);
            }
        });
    }
    if (openErrorLog_) {
        windowMenu_->addSeparator();
        QAction* log = windowMenu_->addAction("Error log");
        log->setObjectName("MenuErrorLog");
        connect(log, &QAction::triggered, this, [this] {
            if (openErrorLog_) {
                openErrorLog_();
            }
        });
    }
}

void TFormORN::SetErrorLogOpener(std::function<void()> open) {
    openErrorLog_ = std::move(open);
    UpdateWindowMenu();
}

QMdiSubWindow* TFormORN::AddChild(QWidget* window) {
    QMdiSubWindow* sub = mdi_->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->show();
    return sub;
}

TQueryChild* TFormORN::NewQuery() {
    QWidget* window = newQuery_ ? newQuery_(nullptr) : nullptr;
    TQueryChild* child = TQueryChild::Of(window);
    if (child == nullptr) {
        delete window;
        return nullptr;
    }
    connect(child, &TQueryChild::ExitRequested, this, &TFormORN::RequestClose);
    AddChild(window);
    return child;
}

TFormExec* TFormORN::NewExec() {
    auto* exec = new TFormExec(dialogs_);
    AddChild(exec);
    return exec;
}

TQueryChild* TFormORN::ActiveQuery() const {
    QMdiSubWindow* active = mdi_->activeSubWindow();
    return active != nullptr ? TQueryChild::Of(active->widget()) : nullptr;
}

std::string TFormORN::OpenIn(TQueryChild& query, const std::string& fileName) {
    std::string error;
    try {
        error = query.OpenFileByExtension(fileName);
    } catch (const std::exception& e) {
        // A table that cannot be read throws; for the caller it is one more failed open.
        error = *e.what() ? e.what() : "Error";
    }
    if (error.empty() || IsDirectory(fileName)) {
        Remember(Absolute(fileName));
    }
    return error;
}

std::string TFormORN::OpenInNewQuery(const std::string& fileName) {
    TQueryChild* child = NewQuery();
    if (child == nullptr) {
        return "A query window could not be made";
    }
    QPointer<QWidget> window = child->Window();
    const std::string error = OpenIn(*child, fileName);
    if (!error.empty() && window) {
        QWidget* frame = window->parentWidget();
        (frame != nullptr ? frame : window.data())->close();
    }
    return error;
}

void TFormORN::OpenDropped(const std::vector<std::string>& fileNames) {
    pendingDrops_.insert(pendingDrops_.end(), fileNames.begin(), fileNames.end());
    if (openingDrops_) {
        return;  // the drop being opened takes these too
    }
    openingDrops_ = true;
    std::vector<std::string> failures;
    while (!pendingDrops_.empty() && !closeRequested_) {
        const std::string name = pendingDrops_.front();
        pendingDrops_.pop_front();
        const std::string error = OpenInNewQuery(name);
        if (!error.empty() && !IsDirectory(name)) {
            failures.push_back(name + ": " + error);
        }
    }
    pendingDrops_.clear();
    openingDrops_ = false;
    if (failures.empty() || closeRequested_) {
        return;
    }
    std::string text =
        failures.size() == 1 ? "Could not open " + failures.front() : "Could not open these files:";
    if (failures.size() > 1) {
        for (std::size_t i = 0; i < failures.size() && i < kFailuresListed; ++i) {
            text += "\n" + failures[i];
        }
        if (failures.size() > kFailuresListed) {
            text += "\nand " + std::to_string(failures.size() - kFailuresListed) + " more";
        }
    }
    dialogs_.Ask(DialogKind::Error, text, {DialogButton::OK});
}

void TFormORN::OpenRecent(const std::string& fileName) {
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec)) {
        recent_.Remove(fileName);
        recent_.Save();
        UpdateFileMenu();
        dialogs_.Ask(DialogKind::Error, fileName + " no longer exists", {DialogButton::OK});
        return;
    }
    if (IsDirectory(fileName)) {
        // A folder from the list stays open as the new window's SQL directory.
        if (TQueryChild* child = NewQuery()) {
            OpenIn(*child, fileName);
        }
        return;
    }
    const std::string error = OpenInNewQuery(fileName);
    if (!error.empty()) {
        dialogs_.Ask(DialogKind::Error, error, {DialogButton::OK});
    }
}

void TFormORN::Remember(const std::string& fileName) {
    recent_.Add(fileName);
    recent_.Save();
    UpdateFileMenu();
}

TFormSqlHelp* TFormORN::ShowSqlHelp() {
    if (!help_) {
        help_ = new TFormSqlHelp(sql::sqlHelpText(), this);
        help_->setAttribute(Qt::WA_DeleteOnClose);
    }
    help_->ShowContents();
    help_->show();
    help_->raise();
    help_->activateWindow();
    return help_;
}

void TFormORN::ShowProgramCommands() {
    if (TQueryChild* query = ActiveQuery()) {
        query->ShowProgramCommands();
    }
}

bool TFormORN::AnyProgramRunning() const {
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        TQueryChild* child = TQueryChild::Of(sub->widget());
        if (child != nullptr && child->ProgramRunning()) {
            return true;
        }
    }
    return false;
}

void TFormORN::StopAllPrograms() {
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        if (TQueryChild* child = TQueryChild::Of(sub->widget())) {
            child->StopProgram();
        }
    }
}

void TFormORN::RequestClose() {
    closeRequested_ = true;
    CloseWhenIdle();
}

void TFormORN::CloseWhenIdle() {
    if (closeScheduled_) {
        return;
    }
    closeScheduled_ = true;
    // Queued, so that the run that asked is over (or reaches its next line) first.
    QTimer::singleShot(AnyProgramRunning() ? kCloseRetryMs : 0, this, [this] {
        closeScheduled_ = false;
        if (AnyProgramRunning()) {
            CloseWhenIdle();
        } else {
            close();
        }
    });
}

void TFormORN::closeEvent(QCloseEvent* event) {
    if (AnyProgramRunning()) {
        // The runner lives in its window: stop it, and close once it has returned.
        StopAllPrograms();
        closeRequested_ = true;
        CloseWhenIdle();
        event->ignore();
        return;
    }
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        if (!sub->close()) {
            closeRequested_ = false;
            event->ignore();
            return;
        }
    }
    if (help_) {
        help_->close();
    }
    event->accept();
    emit Closed();
}

void TFormORN::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles(event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void TFormORN::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppedFiles(event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void TFormORN::dropEvent(QDropEvent* event) {
    std::vector<std::string> names = DroppedFiles(event->mimeData());
    if (names.empty()) {
        return;
    }
    event->acceptProposedAction();
    // Opened after the drop is released, so the file manager is not kept waiting while a
    // dropped program runs.
    QTimer::singleShot(0, this, [this, names = std::move(names)] { OpenDropped(names); });
}

}  // namespace orn
