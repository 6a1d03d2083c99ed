#pragma once
// The headless runner's own switches; the installer's switches pass through.
#include <string>

namespace Headless {

struct Options {
    std::wstring installDir;
    bool hasUninstaller = false;
    std::wstring uninstaller;
    bool desktopShortcut = true;
    bool quickLaunch = true;
    std::wstring installLanguage;
};

// False with `error` saying which argument is wrong.
bool ParseOptions(int argc, wchar_t** argv, Options& options, std::wstring& error);

} // namespace Headless
