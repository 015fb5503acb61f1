#include "engine/param.h"

namespace orn {

TParam::TParam(std::string caption, std::string value, int height, int editWidth)
    : caption_(std::move(caption)),
      value_(std::move(value)),
      height_(height),
      editWidth_(editWidth) {}

}  // namespace orn
