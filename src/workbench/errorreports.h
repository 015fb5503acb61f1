#pragma once
// The error-log kind of the text export and import unit.

#include <string>

#include "errors/zErrors.h"

namespace orn {

// "sql", "SQL debug": every SQL text that the text exchange opens is reported here (shown and
// logged unless the error options say otherwise).
TCommError& SqlDebugKind();

inline void Report(TCommError& kind, const std::string& text) {
    kind.Report(text);
}

}  // namespace orn
