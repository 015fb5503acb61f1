#pragma once
// The clipboard as the query workbench uses it: one text. The windowed program puts Qt's
// clipboard behind it; headless runs and tests use the in-memory one.

#include <string>

namespace orn {

class TClipboard {
  public:
    virtual ~TClipboard() = default;
    // Opening may fail (another program holds the clipboard); implementations then throw.
    virtual std::string Text() = 0;
    virtual void SetText(const std::string& text) = 0;
};

class TMemoryClipboard : public TClipboard {
  public:
    std::string Text() override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }

  private:
    std::string text_;
};

}  // namespace orn
