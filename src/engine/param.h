#pragma once
// One program parameter as data: its caption (the parameter's name), its current value and
// whether its row is shown. The runner owns the parameters; the window that shows them keeps its
// edit box and the value in step through SetValue.

#include <string>

namespace orn {

class TParam {
  public:
    TParam(std::string caption, std::string value, int height, int editWidth);

    const std::string& Caption() const { return caption_; }
    const std::string& Value() const { return value_; }
    void SetValue(std::string value) { value_ = std::move(value); }
    bool Visible() const { return visible_; }
    int Height() const { return height_; }
    int EditWidth() const { return editWidth_; }
    void SetEditWidth(int width) { editWidth_ = width; }
    // Place in the container: a row shown later sits below rows shown earlier.
    long Position() const { return position_; }

  private:
    friend class TParamProgram;
    std::string caption_;
    std::string value_;
    int height_;
    int editWidth_;
    bool visible_ = true;
    long position_ = 0;
};

}  // namespace orn
