#pragma once
#include <string>

namespace Utils {

// The characters between the next-to-last and the last "/": for a package
// address ".../<32 hex digits>/setup.exe" the expected MD5. Empty when the
// text has fewer than two slashes.
std::string GetParentUrlSegment(const std::string& url);

} // namespace Utils
