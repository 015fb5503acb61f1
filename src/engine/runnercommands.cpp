// The runner's own commands: DEBUG and SETVALUE (registered at creation), DECIMAL, SHOWMESSAGE,
// IFGOTO and GOTO (registered by the host in its command order).
#include "engine/FormCommands.h"
#include "text/separators.h"
#include "text/zstring.h"

namespace orn {

namespace {
std::string Goto(const std::string& target) {
    return kGotoPrefix + target;
}
}  // namespace

void TParamProgram::RegisterOwnCommands() {
    AddCommand(std::make_unique<TProgramCommand>(
        "DEBUG", [this](const std::string& p, std::string& r) { DoDebug(p, r); },
        "[level] (0=no,1=status,2=full)"));
    AddCommand(std::make_unique<TProgramCommand>(
        "SETVALUE", [this](const std::string& p, std::string& r) { DoSetValue(p, r); },
        "name,value"));
}

void TParamProgram::AddDecimalCommand() {
    AddCommand(std::make_unique<TProgramCommand>(
        "DECIMAL", [this](const std::string& p, std::string& r) { DoDecimal(p, r); },
        "[decimalchar]"));
}

void TParamProgram::AddFlowCommands() {
    AddCommand(std::make_unique<TProgramCommand>(
        "SHOWMESSAGE", [this](const std::string& p, std::string& r) { DoShowMessage(p, r); },
        "message[!!lineYes[!!lineNo]]"));
    AddCommand(std::make_unique<TProgramCommand>(
        "IFGOTO", [this](const std::string& p, std::string& r) { DoIfGoto(p, r); },
        "str1,str2,line"));
    AddCommand(std::make_unique<TProgramCommand>(
        "GOTO", [this](const std::string& p, std::string& r) { DoGoto(p, r); }, "line"));
}

void TParamProgram::DoDebug(const std::string& params, std::string& result) {
    debug_ = StrToIntDef(params, 0);
}

void TParamProgram::DoSetValue(const std::string& params, std::string& result) {
    std::string name, value;
    SplitTwoTrim(params, ",", name, value);
    SetMacroValue(name, value);
}

void TParamProgram::DoDecimal(const std::string& params, std::string& result) {
    if (params.empty()) {
        RestoreDecimalSeparator();
    } else if (static_cast<unsigned char>(params[0]) >= 0x80) {
        // Numbers are written with a one-byte separator; half of a character would make every
        // exported number invalid text.
        std::size_t length = 1;
        while (length < params.size() &&
               (static_cast<unsigned char>(params[length]) & 0xC0) == 0x80) {
            ++length;
        }
        result = "DECIMAL takes a separator of one plain character such as . or , (\"" +
                 params.substr(0, length) + "\" is not one)";
    } else {
        ChangeDecimalSeparatorRemembering(params[0]);
    }
}

void TParamProgram::DoShowMessage(const std::string& params, std::string& result) {
    std::string rest = params;
    std::string message = NextToken(rest, "!!");
    std::string lineYes = Trim(NextToken(rest, "!!"));
    std::string lineNo = Trim(rest);
    DialogButton answer = view_->Ask(DialogKind::Information, message + "\r\nContinue?",
                                     {DialogButton::Yes, DialogButton::No});
    if (answer == DialogButton::Yes) {
        result = lineYes.empty() ? std::string() : Goto(lineYes);
    } else {
        result = lineNo.empty() ? std::string(kStopResult) : Goto(lineNo);
    }
}

void TParamProgram::DoIfGoto(const std::string& params, std::string& result) {
    std::string first, second, target;
    SplitThreeTrim(params, ",", first, second, target);
    if (first == second) {
        result = Goto(target);
    }
}

void TParamProgram::DoGoto(const std::string& params, std::string& result) {
    result = Goto(params);
}

}  // namespace orn
