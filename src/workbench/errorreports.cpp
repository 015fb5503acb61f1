#include "workbench/errorreports.h"

namespace orn {

namespace {
TErrorReceiver*& Receiver() {
    static TErrorReceiver* receiver = nullptr;
    return receiver;
}
}  // namespace

TErrorReceiver* SetErrorReceiver(TErrorReceiver* receiver) {
    TErrorReceiver* previous = Receiver();
    Receiver() = receiver;
    return previous;
}

void Report(const TCommError& kind, const std::string& text) {
    if (TErrorReceiver* receiver = Receiver()) {
        receiver->Receive(kind, text);
    }
}

const TCommError& SqlDebugKind() {
    static const TCommError kind{"sql", "SQL debug"};
    return kind;
}

}  // namespace orn
