#pragma once
// "Errors": the error log's window. Its memo shows the lines of the kinds whose Show switch is
// on; it serves the log's outputs from the event loop and offers Mark, Clear, the options,
// a comment and the error limit.

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "errors/zErrors.h"
#include "settings/qt/zform.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace orn {

class TDialogs;
class TFormErrorOpt;
class TzParam;

class TErrors : public QWidget, public TzForm, public TErrorHost {
    Q_OBJECT

  public:
    // Serves `log` (its kinds get rows in the options dialog) until destroyed; then every log
    // line still waiting is written.
    explicit TErrors(TErrorLog& log, QWidget* parent = nullptr);
    ~TErrors() override;

    TErrorLog& Log() { return log_; }
    QPlainTextEdit* ErrorScreen() const { return errorScreen_; }
    QCheckBox* CheckBoxErr() const { return checkBoxErr_; }
    TzParam* ParamErrorLimit() const { return paramErrorLimit_; }
    TFormErrorOpt* Options() const { return options_; }
    QPushButton* Button(const QString& name) const;

    // Where message boxes and the comment go (tests script them); the program's own when null.
    void SetDialogs(TDialogs* dialogs) { dialogs_ = dialogs; }
    void SetCommentAsker(std::function<bool(std::string&)> asker) {
        askComment_ = std::move(asker);
    }

    // TErrorHost
    void ScheduleService() override;
    void AppendMemo(const std::vector<std::string>& lines) override;
    void ShowErrors() override;
    double ErrorLimit() const override;
    void ShowLogFileError(const std::string& message) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void ButtonClearClick();
    void ButtonCommentClick();
    void ButtonOptionsClick();

    TErrorLog& log_;
    QPlainTextEdit* errorScreen_ = nullptr;
    QCheckBox* checkBoxErr_ = nullptr;
    TzParam* paramErrorLimit_ = nullptr;
    TFormErrorOpt* options_ = nullptr;
    TDialogs* dialogs_ = nullptr;
    std::function<bool(std::string&)> askComment_;
};

// The program's error window on the process-wide error log: made hidden on first use (the
// windowed start does that at once, so that lines reported from then on are served) and
// freed when the application quits, after writing the lines still waiting.
TErrors& ErrorWindow();
bool ErrorWindowExists();
void DestroyErrorWindow();

}  // namespace orn
