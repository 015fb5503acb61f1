#include "dbengine/dataset/separators.h"

#include <clocale>

namespace orn::db {

char decimalSeparator() {
    const lconv* lc = std::localeconv();
    return lc && lc->decimal_point && *lc->decimal_point ? *lc->decimal_point : '.';
}

char thousandsSeparator() {
    const lconv* lc = std::localeconv();
    return lc && lc->thousands_sep && *lc->thousands_sep ? *lc->thousands_sep : ',';
}

}  // namespace orn::db
