#include "errors/headless.h"

#include "errors/ErrorCom.h"
#include "errors/errorswitches.h"

namespace orn {

THeadlessErrorLog::THeadlessErrorLog(std::ostream& err) : log_(GlobalErrorLog()), host_(log_, err) {
    FollowStoredSwitches(log_);
    CommentError();
    ProgramErrorKind();
    // No memo without a window.
    log_.SetShowActive(false);
    log_.SetHost(&host_);
}

THeadlessErrorLog::~THeadlessErrorLog() {
    log_.FinalFlush();
    log_.SetHost(nullptr);
    log_.OnKindAdded = nullptr;
}

}  // namespace orn
