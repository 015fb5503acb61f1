#include "text/separators.h"

#include <atomic>
#include <locale>
#include <stdexcept>

namespace orn {

namespace {
std::atomic<char> gDecimal{'.'};
std::atomic<char> gThousand{','};
std::atomic<char> gRemembered{'\0'};  // '\0': nothing remembered yet
}  // namespace

char DecimalSeparator() {
    return gDecimal.load();
}
void SetDecimalSeparator(char c) {
    gDecimal.store(c);
}
char ThousandSeparator() {
    return gThousand.load();
}
void SetThousandSeparator(char c) {
    gThousand.store(c);
}

void InitSeparatorsFromLocale() {
    try {
        std::locale user("");
        const auto& punct = std::use_facet<std::numpunct<char>>(user);
        // A separator outside ASCII (a byte of a longer character) cannot stand alone in text.
        const char decimal = punct.decimal_point();
        SetDecimalSeparator(decimal > ' ' ? decimal : '.');
        char grouping = punct.thousands_sep();
        // Locales without grouping report a blank or nothing printable; keep a visible default.
        SetThousandSeparator(grouping > ' ' ? grouping : (DecimalSeparator() == ',' ? '.' : ','));
    } catch (const std::runtime_error&) {
        // An unknown locale in the environment keeps the defaults.
    }
}

void ChangeDecimalSeparatorRemembering(char c) {
    char none = '\0';
    gRemembered.compare_exchange_strong(none, gDecimal.load());
    SetDecimalSeparator(c);
}

void RestoreDecimalSeparator() {
    char remembered = gRemembered.load();
    if (remembered != '\0') {
        SetDecimalSeparator(remembered);
    }
}

void ForgetRememberedDecimalSeparator() {
    gRemembered.store('\0');
}

}  // namespace orn
