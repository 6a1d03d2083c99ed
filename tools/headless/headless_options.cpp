#include "headless_options.h"

#include <algorithm>
#include <vector>

namespace Headless {

namespace {

const wchar_t* const kInstallerSwitches[] = {L"-downloadurl", L"-downloadtype", L"-downloadscale", L"-ischecknet",
                                             L"-instcmd",     L"-language",     L"-insnew"};

bool ParseFlag(const std::wstring& value, bool& flag)
{
    if (value == L"true") {
        flag = true;
        return true;
    }
    if (value == L"false") {
        flag = false;
        return true;
    }
    return false;
}

} // namespace

bool ParseOptions(int argc, wchar_t** argv, Options& options, std::wstring& error)
{
    // As with the installer's switches, the first occurrence of a switch wins.
    std::vector<std::wstring> seen;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const size_t equals = arg.find(L'=');
        const std::wstring name = arg.substr(0, equals);
        const std::wstring value = equals == std::wstring::npos ? std::wstring() : arg.substr(equals + 1);
        bool known = false;
        for (const wchar_t* installerSwitch : kInstallerSwitches) {
            known = known || name == installerSwitch;
        }
        if (known) {
            continue; // read by the settings' own command-line parsing
        }
        if (equals == std::wstring::npos) {
            error = L"unknown argument: " + arg;
            return false;
        }
        const bool repeated = std::find(seen.begin(), seen.end(), name) != seen.end();
        seen.push_back(name);
        if (repeated) {
            continue;
        }
        if (name == L"-instdir") {
            if (value.empty()) {
                error = L"-instdir= needs a folder";
                return false;
            }
            options.installDir = value;
        } else if (name == L"-uninstaller") {
            options.hasUninstaller = true;
            options.uninstaller = value;
        } else if (name == L"-dsc" || name == L"-ssc") {
            if (!ParseFlag(value, name == L"-dsc" ? options.desktopShortcut : options.quickLaunch)) {
                error = name + L"= takes true or false, not \"" + value + L"\"";
                return false;
            }
        } else if (name == L"-inslang") {
            options.installLanguage = value;
        } else {
            error = L"unknown argument: " + arg;
            return false;
        }
    }
    return true;
}

} // namespace Headless
