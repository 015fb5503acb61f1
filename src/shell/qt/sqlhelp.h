#pragma once
// The in-program SQL help: the text `orn --sql-help` prints, with its sections listed as the
// contents, and a find box. It opens at the contents.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTextBrowser>
#include <QWidget>
#include <string>
#include <vector>

namespace orn {

struct THelpSection {
    std::string title;  // empty for the text before the first heading
    std::string body;
};

// Splits the help text at its headings: lines that start in the first column and have letters,
// all of them upper case. The first line is the title of the whole text and no section.
std::vector<THelpSection> SplitHelpSections(const std::string& text, std::string* title = nullptr);

class TFormSqlHelp : public QWidget {
    Q_OBJECT

  public:
    explicit TFormSqlHelp(const std::string& text, QWidget* parent = nullptr);

    QTextBrowser* Browser() const { return browser_; }
    QListWidget* Contents() const { return contents_; }
    QLineEdit* FindEdit() const { return find_; }

    // Selects the next (or previous) place holding the find text, wrapping round at the end;
    // every place is highlighted. False when the text is nowhere.
    bool FindNext(bool backward = false);
    // Back to the contents at the top.
    void ShowContents();

  private:
    void HighlightAll();
    void ShowSection(int row);

    QLineEdit* find_;
    QLabel* findStatus_;
    QListWidget* contents_;
    QTextBrowser* browser_;
};

}  // namespace orn
