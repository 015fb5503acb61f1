#pragma once
// Tests of number entry run with "." and "," as separators and leave the process-wide ones as
// they found them.

#include "text/separators.h"

namespace orn::test {

class ScopedSeparators {
  public:
    ScopedSeparators() : decimal_(DecimalSeparator()), thousand_(ThousandSeparator()) {
        SetDecimalSeparator('.');
        SetThousandSeparator(',');
    }
    ~ScopedSeparators() {
        SetDecimalSeparator(decimal_);
        SetThousandSeparator(thousand_);
    }
    ScopedSeparators(const ScopedSeparators&) = delete;
    ScopedSeparators& operator=(const ScopedSeparators&) = delete;

  private:
    char decimal_;
    char thousand_;
};

}  // namespace orn::test
