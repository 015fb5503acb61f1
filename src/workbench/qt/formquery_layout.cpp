// How the query window is put together: its controls, their names, captions and hints.
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "settings/qt/savepos.h"
#include "settings/qt/zalign.h"
#include "settings/qt/zinicomp.h"
#include "settings/qt/zsplitter.h"
#include "workbench/qt/designnames.h"
#include "workbench/qt/elidedlabel.h"
#include "workbench/qt/filelistbox.h"
#include "workbench/qt/formquery.h"
#include "workbench/qt/programview_qt.h"
#include "workbench/qt/sqlmemo.h"

namespace orn {

namespace {

QPushButton* Button(QWidget* parent, const char* name, const QString& caption,
                    const QString& hint = {}) {
    auto* button = new QPushButton(caption, parent);
    SetDesignName(button, name, caption, hint);
    return button;
}

template <typename T>
T* Named(T* widget, const char* name, const QString& caption = {}, const QString& hint = {}) {
    SetDesignName(widget, name, caption, hint);
    return widget;
}

// The result tool bar's buttons: a bevel around the caption, no wider than it needs, so the
// bar still fits a tiled window.
QToolButton* BarButton(QWidget* parent, const char* name, const QString& caption,
                       const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    SetDesignName(button, name, caption, hint);
    return button;
}

QVBoxLayout* Column(QWidget* parent, int margin = 4) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(4);
    return layout;
}

// One page of the Directory tab: drive box, directory list, mask edit over a file list, the
// "&Change" button and whatever the page adds below.
struct DirectoryPage {
    QWidget* page;
    TDriveComboBox* drive;
    TDirectoryListBox* dirs;
    QLineEdit* mask;
    TFileListBox* files;
    QPushButton* change;
    QVBoxLayout* right;
};

DirectoryPage BuildDirectoryPage(const char* pageName, const char* drive, const char* dirs,
                                 const char* mask, const char* files, const char* change,
                                 const QString& maskText) {
    DirectoryPage p{};
    p.page = Named(new QWidget, pageName);
    auto* layout = new QHBoxLayout(p.page);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* left = Column(nullptr, 0);
    p.drive = Named(new TDriveComboBox(p.page), drive, {}, "Drive");
    p.dirs = Named(new TDirectoryListBox(p.page), dirs, {}, "Directory");
    left->addWidget(p.drive);
    left->addWidget(p.dirs, 1);
    p.right = Column(nullptr, 0);
    p.mask = Named(new QLineEdit(maskText, p.page), mask, {}, "File name or mask");
    p.files = Named(new TFileListBox(p.page), files, {}, "Files");
    p.files->SetMask(maskText);
    p.change = Button(p.page, change, "&Change", "Apply the file name or mask to the file lists");
    auto* maskRow = new QHBoxLayout;
    maskRow->addWidget(p.mask, 1);
    maskRow->addWidget(p.change);
    p.right->addLayout(maskRow);
    p.right->addWidget(p.files, 1);
    layout->addLayout(left, 1);
    layout->addLayout(p.right, 1);
    return p;
}

}  // namespace

void TFormQuery::BuildWindow() {
    SetDesignName(this, "FormQuery", "Query");
    setWindowTitle("Query");
    resize(820, 600);
    auto* align = new TzAlignLayout(this);

    PageSheetQueries = Named(new QTabWidget(this), "PageSheetQueries");
    TabSQL = BuildSqlTab();
    TabDirectory = BuildDirectoryTab();
    TabProg = BuildProgramsTab();
    PageSheetQueries->addTab(TabSQL, "S&QL");
    PageSheetQueries->addTab(TabDirectory, "&Directory");
    PageSheetQueries->addTab(TabProg, "&Programs");
    PageSheetQueries->resize(width(), 230);
    align->AddWidget(PageSheetQueries, TAlign::Top);

    SplitterGrid = Named(new TzSplitter(this, TAlign::Top), "SplitterGrid");
    SplitterGrid->resize(width(), 5);
    SplitterGrid->MinSize = 60;
    align->AddWidget(SplitterGrid, TAlign::Top);

    QWidget* result = BuildResultPanel();
    align->AddWidget(result, TAlign::Client);

    SavePos1 = new TSavePos(this);
    SavePos1->setObjectName("SavePos1");
    setAcceptDrops(true);
}

QWidget* TFormQuery::BuildSqlTab() {
    auto* tab = Named(new QWidget, "TabSQL", "SQL");
    auto* align = new TzAlignLayout(tab);

    auto* files = Named(new QWidget(tab), "PanelDBFiles");
    auto* filesLayout = Column(files);
    FilterComboBoxSQL = Named(new TFilterComboBox(files), "FilterComboBoxSQL", {}, "File filter");
    FilterComboBoxSQL->SetFilter("All db's (*.db)|*.db|Ready files (r*.db)|r*.db");
    FileListBoxSQL = Named(new TFileListBox(files), "FileListBoxSQL", {}, "Tables");
    FileListBoxSQL->SetMask("*.db");
    filesLayout->addWidget(FilterComboBoxSQL);
    filesLayout->addWidget(FileListBoxSQL, 1);
    files->resize(190, 200);
    align->AddWidget(files, TAlign::Left);

    SplitterDBFiles = Named(new TzSplitter(tab, TAlign::Left), "SplitterDBFiles");
    SplitterDBFiles->resize(5, 200);
    align->AddWidget(SplitterDBFiles, TAlign::Left);

    auto* sql = Named(new QWidget(tab), "PanelSQL");
    auto* sqlLayout = Column(sql);
    auto* condRow = new QHBoxLayout;
    EditCond = Named(new QComboBox(sql), "EditCond", {}, "SQL text");
    EditCond->setEditable(true);
    EditCond->setInsertPolicy(QComboBox::NoInsert);
    EditCond->setMaxVisibleItems(20);
    EditCond->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    EditCond->setMinimumContentsLength(20);
    EditCond->lineEdit()->setObjectName("EditCondText");
    EditCond->lineEdit()->setAccessibleName("SQL text");
    ButtonAdd = Button(sql, "ButtonAdd", "&Add", "Add query to the history");
    ButtonDel = Button(sql, "ButtonDel", "Del", "Remove query from the history");
    condRow->addWidget(EditCond, 1);
    condRow->addWidget(ButtonAdd);
    condRow->addWidget(ButtonDel);
    sqlLayout->addLayout(condRow);
    auto* memoRow = new QHBoxLayout;
    sqlMemo_ = Named(new TSqlMemo(sql), "MemoQuery", {}, "SQL statement");
    MemoQuery = sqlMemo_;
    MemoQuery->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    MemoQuery->setFont(mono);
    ButtonQuery = Button(sql, "ButtonQuery", "&Query", "Run the query");
    ButtonQuery->setDefault(true);
    auto* queryColumn = new QVBoxLayout;
    queryColumn->addWidget(ButtonQuery);
    queryColumn->addStretch(1);
    memoRow->addWidget(MemoQuery, 1);
    memoRow->addLayout(queryColumn);
    sqlLayout->addLayout(memoRow, 1);
    align->AddWidget(sql, TAlign::Client);
    return tab;
}

QWidget* TFormQuery::BuildDirectoryTab() {
    auto* tab = Named(new QWidget, "TabDirectory", "Directory");
    auto* layout = Column(tab, 0);
    PageControlDir = Named(new QTabWidget(tab), "PageControlDir");
    PageControlDir->setTabPosition(QTabWidget::West);
    layout->addWidget(PageControlDir);

    DirectoryPage prog =
        BuildDirectoryPage("TabProgDir", "DriveComboBoxProg", "DirectoryListBoxProg",
                           "EditProgramDir", "FileListBoxProgramDir", "ButtonChangeProg", "*.orn");
    TabProgDir = prog.page;
    DriveComboBoxProg = prog.drive;
    DirectoryListBoxProg = prog.dirs;
    EditProgramDir = prog.mask;
    FileListBoxProgramDir = prog.files;
    ButtonChangeProg = prog.change;
    CBRunAutomatically = new TCheckBoxIni(TabProgDir);
    CBRunAutomatically->setObjectName("CBRunAutomatically");
    CBRunAutomatically->setText("Run &automatically");
    SetDesignName(CBRunAutomatically, "CBRunAutomatically", "Run &automatically");
    prog.right->addWidget(CBRunAutomatically);

    DirectoryPage sql =
        BuildDirectoryPage("TabSQLDir", "DriveComboBoxSQL", "DirectoryListBoxSQL", "EditSQLDir",
                           "FileListBoxSQLDir", "ButtonChangeSQL", "*.db");
    TabSQLDir = sql.page;
    DriveComboBoxSQL = sql.drive;
    DirectoryListBoxSQL = sql.dirs;
    EditSQLDir = sql.mask;
    FileListBoxSQLDir = sql.files;
    ButtonChangeSQL = sql.change;

    PageControlDir->addTab(TabProgDir, "Programs");
    PageControlDir->addTab(TabSQLDir, "SQL");
    return tab;
}

QWidget* TFormQuery::BuildProgramsTab() {
    auto* tab = Named(new QWidget, "TabProg", "Programs");
    auto* layout = new QHBoxLayout(tab);
    layout->setContentsMargins(4, 4, 4, 4);
    FileListBoxProgram = Named(new TFileListBox(tab), "FileListBoxProgram", {}, "Programs");
    FileListBoxProgram->SetMask("*.orn");
    FileListBoxProgram->setMaximumWidth(220);
    FileListBoxProgram->setMinimumWidth(140);
    layout->addWidget(FileListBoxProgram, 1);

    auto* middle = Column(nullptr, 0);
    LabelProgram = Named(new TElidedLabel(tab), "LabelProgram", {}, "Program title");
    QFont bold = LabelProgram->font();
    bold.setBold(true);
    LabelProgram->setFont(bold);
    LabelProgram->setTextFormat(Qt::PlainText);
    LabelProgram->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    LabelProgram->setMargin(2);
    LabelProgram->setFixedHeight(LabelProgram->sizeHint().height() + 6);
    ScrollBoxParams = Named(new QScrollArea(tab), "ScrollBoxParams", {}, "Program parameters");
    ScrollBoxParams->setWidgetResizable(true);
    auto* params = new QWidget;
    params->setObjectName("ParamRows");
    auto* paramsLayout = new QVBoxLayout(params);
    paramsLayout->setContentsMargins(0, 0, 0, 0);
    paramsLayout->setSpacing(0);
    paramsLayout->addStretch(1);
    ScrollBoxParams->setWidget(params);
    middle->addWidget(LabelProgram);
    middle->addWidget(ScrollBoxParams, 1);
    layout->addLayout(middle, 3);

    NBProgButtons = Named(new QStackedWidget(tab), "NBProgButtons");
    auto* avi = Named(new QWidget, "PgAvi");
    auto* aviLayout = Column(avi, 0);
    Animate1 = Named(new QProgressBar(avi), "Animate1", {}, "Program running");
    Animate1->setRange(0, 1);
    Animate1->setTextVisible(false);
    Animate1->setMaximumHeight(12);
    PanelStop = Named(new TClickLabel("Stop", avi), "PanelStop", "Stop", "Stop the program");
    PanelStop->setAlignment(Qt::AlignCenter);
    PanelStop->setAutoFillBackground(true);
    PanelStop->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PanelStop->setStyleSheet("QLabel { background: #d01010; color: white; font-weight: bold; }");
    PanelStop->setMinimumHeight(48);
    PanelStop->setCursor(Qt::PointingHandCursor);
    aviLayout->addWidget(Animate1);
    aviLayout->addWidget(PanelStop);
    aviLayout->addStretch(1);
    auto* buttons = Named(new QWidget, "PgButtons");
    auto* buttonsLayout = Column(buttons, 0);
    ButtonRun = Button(buttons, "ButtonRun", "&Run", "Run the program");
    ButtonSaveParams =
        Button(buttons, "ButtonSaveParams", "Save Para&ms", "Save the parameters as defaults");
    ButtonEditProgram =
        Button(buttons, "ButtonEditProgram", "&Edit Program", "Open the program in an editor");
    buttonsLayout->addWidget(ButtonRun);
    buttonsLayout->addWidget(ButtonSaveParams);
    buttonsLayout->addWidget(ButtonEditProgram);
    buttonsLayout->addStretch(1);
    NBProgButtons->addWidget(avi);
    NBProgButtons->addWidget(buttons);
    NBProgButtons->setCurrentIndex(1);
    NBProgButtons->setFixedWidth(
        std::max(ButtonEditProgram->sizeHint().width(), ButtonSaveParams->sizeHint().width()) + 8);
    layout->addWidget(NBProgButtons);
    return tab;
}

QWidget* TFormQuery::BuildResultPanel() {
    auto* panel = Named(new QWidget(this), "PanelResult");
    auto* layout = Column(panel, 0);
    layout->setSpacing(0);

    auto* bar = Named(new QWidget(panel), "ToolBarResult");
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(4, 3, 4, 3);
    barLayout->setSpacing(4);
    ButtonSaveAs = BarButton(bar, "ButtonSaveAs", "Save&As", "Save as a new table");
    EditSaveName =
        Named(new QLineEdit("sub", bar), "EditSaveName", {}, "Name for database where to save");
    const int charWidth = EditSaveName->fontMetrics().averageCharWidth();
    EditSaveName->setMinimumWidth(charWidth * 6);
    EditSaveName->setMaximumWidth(charWidth * 14);
    barLayout->addWidget(ButtonSaveAs);
    barLayout->addWidget(EditSaveName);

    DBNavigator1 = Named(new QWidget(bar), "DBNavigator1", {}, "Record navigator");
    auto* nav = new QHBoxLayout(DBNavigator1);
    nav->setContentsMargins(0, 0, 0, 0);
    nav->setSpacing(0);
    struct NavButton {
        const char* name;
        const char* hint;
        QStyle::StandardPixmap icon;
        const char* text;
    };
    const NavButton navButtons[] = {
        {"NavFirst", "First record", QStyle::SP_MediaSkipBackward, ""},
        {"NavPrior", "Prior record", QStyle::SP_MediaSeekBackward, ""},
        {"NavNext", "Next record", QStyle::SP_MediaSeekForward, ""},
        {"NavLast", "Last record", QStyle::SP_MediaSkipForward, ""},
        {"NavInsert", "Insert record", QStyle::SP_CustomBase, "+"},
        {"NavDelete", "Delete record", QStyle::SP_CustomBase, "\u2212"},
        {"NavEdit", "Edit record", QStyle::SP_CustomBase, "\u25B2"},
        {"NavPost", "Post edit", QStyle::SP_DialogApplyButton, ""},
        {"NavCancel", "Cancel edit", QStyle::SP_DialogCancelButton, ""},
        {"NavRefresh", "Refresh data", QStyle::SP_BrowserReload, ""},
    };
    for (const NavButton& b : navButtons) {
        auto* button = Named(new QToolButton(DBNavigator1), b.name, {}, b.hint);
        if (b.icon != QStyle::SP_CustomBase) {
            button->setIcon(style()->standardIcon(b.icon));
        } else {
            button->setText(QString::fromUtf8(b.text));
        }
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        const std::string action = b.name;
        connect(button, &QToolButton::clicked, this, [this, action] { Navigate(action.c_str()); });
        nav->addWidget(button);
    }
    barLayout->addWidget(DBNavigator1);

    ButtonCopy = BarButton(bar, "ButtonCopy", "&Copy", "Copy table to clipboard");
    ButtonPaste = BarButton(bar, "ButtonPaste", "&Paste", "Paste rows from the clipboard");
    ButtonSaveAsText =
        BarButton(bar, "ButtonSaveAsText", "Save as &text", "Save the result as text");
    EditSaveAsTextName = new TEditIni(bar);
    SetDesignName(EditSaveAsTextName, "EditSaveAsTextName", {}, "Name for text file to save");
    EditSaveAsTextName->setText("tmp.txt");
    // Wide enough for a usual file name; it takes what the bar has to spare up to a long one.
    EditSaveAsTextName->setMinimumWidth(charWidth * 16);
    EditSaveAsTextName->setMaximumWidth(charWidth * 36);
    EditSeparator = new TEditIni(bar);
    SetDesignName(EditSeparator, "EditSeparator", {}, "By what is the fields separated (#9=Tab)");
    EditSeparator->setText("#9");
    EditSeparator->setMinimumWidth(charWidth * 4);
    EditSeparator->setMaximumWidth(charWidth * 6);
    barLayout->addWidget(ButtonCopy);
    barLayout->addWidget(ButtonPaste);
    barLayout->addWidget(ButtonSaveAsText);
    barLayout->addWidget(EditSaveAsTextName, 1);
    barLayout->addWidget(EditSeparator);
    barLayout->addStretch(1);
    layout->addWidget(bar);

    DBGrid1 = Named(new TDBGrid(panel), "DBGrid1", {}, "Result");
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->verticalHeader()->setDefaultSectionSize(DBGrid1->fontMetrics().height() + 6);
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    // Columns are sized to the rows of the first screen, never by reading further.
    DBGrid1->horizontalHeader()->setResizeContentsPrecision(30);
    DBGrid1->horizontalHeader()->setMaximumSectionSize(320);
    DBGrid1->setWordWrap(false);
    layout->addWidget(DBGrid1->Frame(), 1);

    StatusBar1 = Named(new QStatusBar(panel), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    const int widths[4] = {60, 50, 200, 50};
    const char* names[4] = {"StatusRecNo", "StatusCount", "StatusProgram", "StatusDirectory"};
    const char* hints[4] = {"Record number", "Record count", "Program file", "SQL directory"};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new TElidedLabel(StatusBar1);
        // The program file and the directory are paths: their ends tell most.
        panel->SetElideMode(i >= 2 ? Qt::ElideMiddle : Qt::ElideRight);
        StatusPanels[i] = Named(panel, names[i], {}, hints[i]);
        StatusPanels[i]->setMinimumWidth(widths[i]);
        StatusPanels[i]->setTextFormat(Qt::PlainText);
        StatusPanels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1->addWidget(StatusPanels[i], i == 3 ? 1 : 0);
    }
    StatusPanels[0]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    StatusPanels[2]->setFixedWidth(200);
    StatusWarning = Named(new QLabel(StatusBar1), "StatusWarning", {}, "Warning");
    StatusWarning->setTextFormat(Qt::PlainText);
    StatusWarning->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // A long warning is cut at the window's edge; its tool tip holds it whole.
    StatusWarning->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusWarning->hide();
    StatusBar1->addWidget(StatusWarning, 2);
    layout->addWidget(StatusBar1);
    return panel;
}

}  // namespace orn
