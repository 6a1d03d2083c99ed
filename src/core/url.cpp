#include "url.h"

namespace Utils {

std::string GetParentUrlSegment(const std::string& url)
{
    const size_t last = url.rfind('/');
    if (url.empty() || last == std::string::npos || last == 0) {
        return {};
    }
    const size_t before = url.rfind('/', last - 1);
    if (before == std::string::npos) {
        return {};
    }
    return url.substr(before + 1, last - before - 1);
}

} // namespace Utils
