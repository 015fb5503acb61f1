#include "shell/qt/sqlhelp.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTextDocument>
#include <QVBoxLayout>
#include <cctype>
#include <sstream>

namespace orn {

namespace {

bool IsHeading(const std::string& line) {
    if (line.empty() || std::isspace(static_cast<unsigned char>(line[0]))) {
        return false;
    }
    bool letters = false;
    for (unsigned char c : line) {
        if (std::islower(c)) {
            return false;
        }
        letters = letters || std::isupper(c);
    }
    return letters;
}

QString Escaped(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped();
}

QString Anchor(int index) {
    return QString("section%1").arg(index);
}

}  // namespace

std::vector<THelpSection> SplitHelpSections(const std::string& text, std::string* title) {
    std::vector<THelpSection> sections(1);
    std::istringstream in(text);
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (first) {
            first = false;
            if (title != nullptr) {
                *title = line;
            }
            continue;
        }
        if (IsHeading(line)) {
            sections.push_back({line, {}});
        } else {
            sections.back().body += line + "\n";
        }
    }
    // Blank lines around a body only space it out.
    for (THelpSection& section : sections) {
        std::size_t start = section.body.find_first_not_of('\n');
        std::size_t end = section.body.find_last_not_of('\n');
        section.body = start == std::string::npos
                           ? std::string()
                           : section.body.substr(start, end - start + 1) + "\n";
    }
    if (sections.front().body.empty()) {
        sections.erase(sections.begin());
    }
    return sections;
}

TFormSqlHelp::TFormSqlHelp(const std::string& text, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("FormSqlHelp");
    setWindowTitle("SQL Help");

    std::string title;
    const std::vector<THelpSection> sections = SplitHelpSections(text, &title);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    auto* findBar = new QHBoxLayout;
    auto* findLabel = new QLabel("&Find:", this);
    find_ = new QLineEdit(this);
    find_->setObjectName("EditFind");
    find_->setClearButtonEnabled(true);
    find_->setPlaceholderText("Text to find (Enter: next, Shift+Enter: previous)");
    findLabel->setBuddy(find_);
    auto* next = new QPushButton("&Next", this);
    auto* previous = new QPushButton("&Previous", this);
    findStatus_ = new QLabel(this);
    findStatus_->setObjectName("LabelFindStatus");
    findStatus_->setMinimumWidth(findStatus_->fontMetrics().horizontalAdvance("Not found  "));
    findBar->addWidget(findLabel);
    findBar->addWidget(find_, 1);
    findBar->addWidget(next);
    findBar->addWidget(previous);
    findBar->addWidget(findStatus_);
    layout->addLayout(findBar);

    auto* splitter = new QSplitter(this);
    contents_ = new QListWidget(splitter);
    contents_->setObjectName("ListContents");
    browser_ = new QTextBrowser(splitter);
    browser_->setObjectName("BrowserHelp");
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    // The document: title, the contents as links, then each section in a fixed font so that
    // the aligned examples stay aligned.
    const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    QString html =
        "<h2>" + Escaped(title) + "</h2><a name=\"contents\"></a><p><b>Contents</b></p><ul>";
    contents_->addItem("Contents");
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].title.empty()) {
            continue;
        }
        html +=
            "<li><a href=\"#" + Anchor(int(i)) + "\">" + Escaped(sections[i].title) + "</a></li>";
        auto* item = new QListWidgetItem(QString::fromStdString(sections[i].title), contents_);
        item->setData(Qt::UserRole, Anchor(int(i)));
    }
    html += "</ul>";
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (!sections[i].title.empty()) {
            html += "<h3><a name=\"" + Anchor(int(i)) + "\"></a>" + Escaped(sections[i].title) +
                    "</h3>";
        }
        html += "<pre style=\"font-family: '" + fixed.toHtmlEscaped() + "'\">" +
                Escaped(sections[i].body) + "</pre>";
    }
    browser_->setHtml(html);
    const int listWidth = contents_->sizeHintForColumn(0) + 4 * contents_->frameWidth() +
                          contents_->fontMetrics().averageCharWidth() * 4;
    splitter->setSizes({listWidth, listWidth * 4});

    connect(contents_, &QListWidget::currentRowChanged, this, &TFormSqlHelp::ShowSection);
    connect(find_, &QLineEdit::textChanged, this, [this] {
        HighlightAll();
        findStatus_->clear();
    });
    connect(find_, &QLineEdit::returnPressed, this,
            [this] { FindNext(QGuiApplication::keyboardModifiers() & Qt::ShiftModifier); });
    connect(next, &QPushButton::clicked, this, [this] { FindNext(false); });
    connect(previous, &QPushButton::clicked, this, [this] { FindNext(true); });
    auto* findKey = new QShortcut(QKeySequence::Find, this);
    connect(findKey, &QShortcut::activated, this, [this] {
        find_->setFocus();
        find_->selectAll();
    });
    auto* nextKey = new QShortcut(QKeySequence::FindNext, this);
    connect(nextKey, &QShortcut::activated, this, [this] { FindNext(false); });
    auto* previousKey = new QShortcut(QKeySequence::FindPrevious, this);
    connect(previousKey, &QShortcut::activated, this, [this] { FindNext(true); });

    resize(980, 640);
    ShowContents();
}

void TFormSqlHelp::ShowContents() {
    const QSignalBlocker block(contents_);
    contents_->setCurrentRow(0);
    browser_->moveCursor(QTextCursor::Start);
    browser_->verticalScrollBar()->setValue(0);
}

void TFormSqlHelp::ShowSection(int row) {
    if (row <= 0) {
        ShowContents();
        return;
    }
    browser_->scrollToAnchor(contents_->item(row)->data(Qt::UserRole).toString());
}

void TFormSqlHelp::HighlightAll() {
    QList<QTextEdit::ExtraSelection> marks;
    const QString wanted = find_->text();
    if (!wanted.isEmpty()) {
        QTextCharFormat format;
        format.setBackground(palette().color(QPalette::Highlight).lighter(160));
        QTextCursor at(browser_->document());
        while (!(at = browser_->document()->find(wanted, at)).isNull()) {
            marks.append({at, format});
        }
    }
    browser_->setExtraSelections(marks);
}

bool TFormSqlHelp::FindNext(bool backward) {
    const QString wanted = find_->text();
    if (wanted.isEmpty()) {
        return false;
    }
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    bool found = browser_->find(wanted, flags);
    if (!found) {
        // Round the end (or the start) and look once more.
        browser_->moveCursor(backward ? QTextCursor::End : QTextCursor::Start);
        found = browser_->find(wanted, flags);
    }
    findStatus_->setText(found ? QString() : QString("Not found"));
    return found;
}

}  // namespace orn
