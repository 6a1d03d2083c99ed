#pragma once
#include <windows.h>

#include <string>

namespace Utils {

// A new GUID as 32 hex digits without separators, upper case except the
// third group of four, which is lower case. Empty when no GUID can be made.
std::wstring CreateGuidString();
std::wstring FormatGuidString(const GUID& guid);

} // namespace Utils
