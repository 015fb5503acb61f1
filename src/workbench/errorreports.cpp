#include "workbench/errorreports.h"

namespace orn {

TCommError& SqlDebugKind() {
    TCommError* kind = nullptr;
    RegisterError(kind, "sql", "SQL debug", false, true, true);
    return *kind;
}

}  // namespace orn
