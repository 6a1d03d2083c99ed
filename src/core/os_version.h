#pragma once
// The running Windows: version name and whether Windows itself is 64-bit.
#include <string>

namespace Utils {

// product is always "Windows"; version is a name such as "XP", "7" or "10".
void GetOSVersionName(std::wstring& product, std::wstring& version);

// The name for a version number; serverR2 is GetSystemMetrics(SM_SERVERR2) != 0.
std::wstring OSVersionNameFor(unsigned major, unsigned minor, unsigned build, bool serverR2);

// True for a 32-bit process on 64-bit Windows (WOW64).
bool IsWindows64();

} // namespace Utils
