#include "engine/programcommands.h"

#include "text/zstring.h"

namespace orn {

TProgramCommand::TProgramCommand(std::string name, TProgramCommandEvent handler,
                                 std::string paramHelp)
    : name_(std::move(name)), handler_(std::move(handler)), paramHelp_(std::move(paramHelp)) {}

void TProgramCommand::Execute(const std::string& params, std::string& result) {
    result.clear();
    if (handler_) {
        handler_(params, result);
    }
}

std::string TProgramCommand::HelpLine() const {
    return name_ + " " + paramHelp_;
}

void TProgramCommands::Add(std::unique_ptr<TProgramCommand> command) {
    if (command) {
        commands_.push_back(std::move(command));
    }
}

void TProgramCommands::Execute(const std::string& name, const std::string& params,
                               std::string& result) {
    for (const auto& command : commands_) {
        if (SameText(command->Name(), name)) {
            command->Execute(params, result);
            return;
        }
    }
    result = "Command not found \"" + name + "\"";
}

std::string TProgramCommands::GetHelp() const {
    std::string help;
    for (const auto& command : commands_) {
        help += command->HelpLine();
        help += "\r\n";
    }
    return help;
}

}  // namespace orn
