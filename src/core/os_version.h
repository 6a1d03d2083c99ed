#pragma once
// The running Windows: version name and whether Windows itself is 64-bit.
#include <string>

namespace Utils {

// product is always "Windows"; version is a name such as "XP", "7" or "10".
void GetOSVersionName(std::wstring& product, std::wstring& version);

// The name for a version number; serverR2 is GetSystemMetrics(SM_SERVERR2) != 0.
std::wstring OSVersionNameFor(unsigned major, unsigned minor, unsigned build, bool serverR2);

// True when Windows itself is 64-bit: for a 32-bit process that is the
// WOW64 question; a 64-bit process always gets true.
bool IsWindows64();

} // namespace Utils
