#include "number_text.h"

#include <cmath>
#include <cstdlib>
#include <cwctype>

namespace Utils {

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

size_t SkipSpace(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) {
        ++i;
    }
    return i;
}

} // namespace

int32_t ParseIntPrefix(const std::wstring& text)
{
    size_t i = SkipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > INT64_C(0x80000000)) {
            value = INT64_C(0x80000000); // further digits cannot bring it back
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

double ParseDecimalPrefix(const std::wstring& text)
{
    // Cut the decimal prefix first: the runtime's parser would also take
    // "inf", "nan" and hexadecimal forms, which settings never mean.
    const size_t begin = SkipSpace(text);
    size_t i = begin;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        ++i;
    }
    size_t digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        ++digits;
    }
    if (i < text.size() && text[i] == L'.') {
        ++i;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        size_t e = i + 1;
        if (e < text.size() && (text[e] == L'+' || text[e] == L'-')) {
            ++e;
        }
        if (e < text.size() && IsDigit(text[e])) {
            while (e < text.size() && IsDigit(text[e])) {
                ++e;
            }
            i = e;
        }
    }
    const std::wstring number = text.substr(begin, i - begin);
    const double value = std::wcstod(number.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

} // namespace Utils
