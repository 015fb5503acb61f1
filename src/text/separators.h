#pragma once
// The process-wide decimal and thousands separators that every number conversion reads at the
// moment it runs. They start as "." and "," and follow the user's locale once
// InitSeparatorsFromLocale has run; the program command DECIMAL changes the decimal separator.

namespace orn {

char DecimalSeparator();
void SetDecimalSeparator(char c);
char ThousandSeparator();
void SetThousandSeparator(char c);

// Reads both separators from the user's locale (LC_NUMERIC / LANG of the environment).
void InitSeparatorsFromLocale();

// DECIMAL with an argument: the first such change in the process remembers the separator in
// force before it, then the separator becomes c. RestoreDecimalSeparator (DECIMAL without an
// argument) brings the remembered one back; it stays remembered.
void ChangeDecimalSeparatorRemembering(char c);
void RestoreDecimalSeparator();
// Forgets the remembered separator, as at process start (for tests).
void ForgetRememberedDecimalSeparator();

}  // namespace orn
