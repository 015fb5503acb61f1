#pragma once
// How a unit reports a diagnostic text into the error log under one of its kinds. The error log
// installs itself as the receiver; until one is installed, reports go nowhere.

#include <string>

namespace orn {

struct TCommError {
    std::string code;   // short code written into log lines, e.g. "sql"
    std::string title;  // shown in the error log's options, e.g. "SQL debug"
};

class TErrorReceiver {
  public:
    virtual ~TErrorReceiver() = default;
    virtual void Receive(const TCommError& kind, const std::string& text) = 0;
};

// The receiver of all reports; null (the default) drops them. Returns the previous one.
TErrorReceiver* SetErrorReceiver(TErrorReceiver* receiver);
void Report(const TCommError& kind, const std::string& text);

// The kind of the text export and import unit: every SQL text it opens is reported here.
const TCommError& SqlDebugKind();

}  // namespace orn
