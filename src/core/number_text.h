#pragma once
// Lenient number reading for settings: the longest numeric prefix counts,
// anything else falls back to 0 instead of failing.
#include <cstdint>
#include <string>

namespace Utils {

// Leading white space, an optional sign, decimal digits. No digits gives 0;
// values beyond the 32-bit range are held at its ends.
int32_t ParseIntPrefix(const std::wstring& text);

// Leading white space, an optional sign, digits with an optional decimal point
// and exponent. No number, or one too large to hold, gives 0.0.
double ParseDecimalPrefix(const std::wstring& text);

} // namespace Utils
