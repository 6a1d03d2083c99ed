#pragma once
// Text conversions and small text tests. Wide (UTF-16) text is the rule inside;
// narrow text appears only at library and file boundaries.
#include <windows.h>

#include <string>

namespace Utils {

// Through MultiByteToWideChar / WideCharToMultiByte with flags 0; empty on failure.
std::wstring MultiByteToUnicode(const std::string& text, UINT codePage);
std::string UnicodeToMultiByte(const std::wstring& text, UINT codePage);

// Strict UTF-8: any invalid sequence makes the whole result empty.
std::wstring Utf8ToUnicode(const std::string& text);
std::string UnicodeToUtf8(const std::wstring& text);

std::wstring UIntToWString(unsigned value);
std::string UIntToString(unsigned value);

// Without leading and trailing blank, tab, line feed, vertical tab, form feed, carriage return.
std::wstring Trim(const std::wstring& text);
// An empty prefix always matches.
bool StartsWith(const std::wstring& text, const std::wstring& prefix);

} // namespace Utils
