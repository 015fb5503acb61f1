#pragma once
// The system clipboard behind TClipboard: plain text, so rows copied here paste into a
// spreadsheet or an editor and back.

#include "workbench/clipboard.h"

namespace orn {

class TQtClipboard : public TClipboard {
  public:
    std::string Text() override;
    void SetText(const std::string& text) override;
};

}  // namespace orn
