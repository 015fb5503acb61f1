// The main window's view of the query window.
#include "shell/qt/querychild.h"
#include "workbench/qt/formquery.h"
#include "workbench/querysession.h"

namespace orn {

namespace {

class TFormQueryChild : public TQueryChild {
  public:
    explicit TFormQueryChild(TFormQuery& form) : TQueryChild(&form), form_(form) {
        connect(&form, &TFormQuery::ExitRequested, this, &TQueryChild::ExitRequested);
    }
    std::string OpenFileByExtension(const std::string& fileName) override {
        return form_.OpenFileByExtension(fileName);
    }
    void ShowProgramCommands() override { form_.Session().Program().ShowHelp(); }
    bool ProgramRunning() const override { return form_.Session().Program().Running(); }
    void StopProgram() override { form_.StopClick(); }

  private:
    TFormQuery& form_;
};

}  // namespace

TQueryFactory QueryWindowFactory(TDialogs& dialogs, const std::string& startDirectory) {
    return [&dialogs, startDirectory](QWidget* parent) -> QWidget* {
        auto* form = new TFormQuery(parent, &dialogs, startDirectory);
        new TFormQueryChild(*form);
        return form;
    };
}

}  // namespace orn
