#include "dbengine/dataset/separators.h"

#include "text/separators.h"

namespace orn::db {

char decimalSeparator() {
    return orn::DecimalSeparator();
}
char thousandsSeparator() {
    return orn::ThousandSeparator();
}

}  // namespace orn::db
