#pragma once
// Where each error kind's three switches are stored. The options dialog shows them as check
// boxes named "Error_" + code + "Show", "Log" and "Ext" (plus a number when that name is taken)
// on the form "FormErrorOpt", so each is stored in section "FormErrorOpt-Params" under its box
// name: "1" on, "0" off ("2", grayed, and anything else count as off). The headless program
// reads the same entries, so both follow the same switches.

#include <functional>
#include <string>

namespace orn {

class TCommError;
class TErrorLog;

constexpr const char* kErrorOptSection = "FormErrorOpt-Params";

// 0 Show, 1 Log, 2 Ext.
std::string ErrorSwitchName(const std::string& code, int column, const std::string& suffix);
// Letters, digits and "_", not starting with a digit: what a component name can hold. A box
// whose name cannot be that stays unnamed, and its switch is not stored.
bool IsComponentName(const std::string& name);
// The suffix of a new row: empty, or the smallest 1, 2, ... that makes the Show box's name
// free (`taken` answers, ignoring letter case).
std::string ErrorRowSuffix(const std::string& code,
                           const std::function<bool(const std::string&)>& taken);
// A stored check box state as a switch: only "1" (and texts that read as 1) is on.
bool SwitchFromStored(const std::string& text);
// Applies the stored states of the kind's row (suffix as given) to its switches; a switch
// with nothing stored keeps its registration default.
void LoadStoredSwitches(TCommError& kind, const std::string& suffix);
// The headless program's options: loads the stored switches of every kind now and of every
// kind registered later.
void FollowStoredSwitches(TErrorLog& log);

}  // namespace orn
