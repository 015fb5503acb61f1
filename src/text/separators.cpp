#include "text/separators.h"

#include <langinfo.h>
#include <locale.h>

#include <atomic>

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
    // Only the numeric part of the user's locale is loaded: a whole std::locale would read
    // every category, a millisecond of every start.
    locale_t user = newlocale(LC_NUMERIC_MASK, "", locale_t{});
    if (!user)
        return;  // an unknown locale in the environment keeps the defaults
    // A separator outside ASCII (a byte of a longer character) cannot stand alone in text.
    const char decimal = *nl_langinfo_l(RADIXCHAR, user);
    SetDecimalSeparator(decimal > ' ' ? decimal : '.');
    const char grouping = *nl_langinfo_l(THOUSEP, user);
    // Locales without grouping report a blank or nothing printable; keep a visible default.
    SetThousandSeparator(grouping > ' ' ? grouping : (DecimalSeparator() == ',' ? '.' : ','));
    freelocale(user);
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
