#pragma once
// The command table of the program language. The language has no keywords of its own: every
// command a program line can name is registered here by a provider, and the help listing shows
// the commands in registration order.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orn {

// A command handler: the argument text and the result text. An empty result is success,
// exactly "@stop@" ends the program, "@goto@<target>" jumps, anything else is an error message.
using TProgramCommandEvent = std::function<void(const std::string& params, std::string& result)>;

inline constexpr const char* kStopResult = "@stop@";
inline constexpr const char* kGotoPrefix = "@goto@";

class TProgramCommand {
  public:
    TProgramCommand(std::string name, TProgramCommandEvent handler, std::string paramHelp);
    virtual ~TProgramCommand() = default;

    const std::string& Name() const { return name_; }
    const std::string& ParamHelp() const { return paramHelp_; }
    // Clears result, then calls the handler when there is one.
    virtual void Execute(const std::string& params, std::string& result);
    // Name, one blank, parameter help.
    std::string HelpLine() const;

  private:
    std::string name_;
    TProgramCommandEvent handler_;
    std::string paramHelp_;
};

class TProgramCommands {
  public:
    // Appends; a null command is ignored and an existing entry is never replaced.
    void Add(std::unique_ptr<TProgramCommand> command);
    // Runs the first command whose name equals `name` ignoring case; an unknown name gives
    // Command not found "<name>". Exceptions of the handler pass through.
    void Execute(const std::string& name, const std::string& params, std::string& result);
    // One help line per command in registration order, each ending in CR LF.
    std::string GetHelp() const;

    std::size_t Count() const { return commands_.size(); }
    const TProgramCommand& At(std::size_t index) const { return *commands_.at(index); }

  private:
    std::vector<std::unique_ptr<TProgramCommand>> commands_;
};

}  // namespace orn
