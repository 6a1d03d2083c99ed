#include "installer_config.h"

#include <windows.h>
#include <shellapi.h>

#include <map>

#include "handle.h"
#include "number_text.h"
#include "os_version.h"
#include "paths.h"

namespace {

const wchar_t kSection[] = L"Install";
const wchar_t kPlaceholder[] = L"${ROUTE}";
constexpr DWORD kValueBuffer = 260; // longer values arrive cut to 259 characters

std::wstring ReadProfileText(const std::wstring& file, const wchar_t* key, const wchar_t* fallback)
{
    wchar_t value[kValueBuffer] = {};
    const DWORD n = ::GetPrivateProfileStringW(kSection, key, fallback, value, kValueBuffer, file.c_str());
    return std::wstring(value, n);
}

} // namespace

namespace Utils {

std::wstring RouteWordFor(const std::wstring& versionName, bool windows64)
{
    if (versionName.find(L"XP") != std::wstring::npos) {
        return L"download_silent_xp";
    }
    return windows64 ? L"download_silent_64" : L"download_silent";
}

std::wstring RouteSubstitute(const std::wstring& url)
{
    const bool windows64 = IsWindows64();
    if (url.find(kPlaceholder) == std::wstring::npos) {
        if (!windows64) {
            return url;
        }
        // One 64-bit build serves every 64-bit machine without a routed address.
        ::OutputDebugStringW(L"64 bit Windows");
        return CInstallerConfig::DefaultDownloadUrl();
    }
    std::wstring product;
    std::wstring version;
    GetOSVersionName(product, version);
    const std::wstring word = RouteWordFor(version, windows64);
    std::wstring out = url;
    const size_t placeholderLength = sizeof(kPlaceholder) / sizeof(wchar_t) - 1;
    for (size_t at = out.find(kPlaceholder); at != std::wstring::npos; at = out.find(kPlaceholder, at + word.size())) {
        out.replace(at, placeholderLength, word);
    }
    return out;
}

} // namespace Utils

CInstallerConfig::CInstallerConfig() : CInstallerConfig(SettingsFilePath()) {}

CInstallerConfig::CInstallerConfig(const std::wstring& settingsFile)
{
    SetDownloadUrl(DefaultDownloadUrl());
    if (!settingsFile.empty()) {
        LoadSettingsFile(settingsFile);
    }
}

std::wstring CInstallerConfig::DefaultDownloadUrl() { return L"http://dl.zorvasoft.com/software/675"; }

std::wstring CInstallerConfig::SettingsFilePath()
{
    const std::wstring dir = Utils::GetModuleDirectory();
    return dir.empty() ? std::wstring() : dir + L"\\ZorvaInstallerConfig.ini";
}

void CInstallerConfig::LoadSettingsFile() { LoadSettingsFile(SettingsFilePath()); }

void CInstallerConfig::LoadSettingsFile(const std::wstring& path)
{
    if (path.empty() || !Utils::PathExists(path)) {
        return;
    }
    SetDownloadUrl(ReadProfileText(path, L"DownloadUrl", DefaultDownloadUrl().c_str()));
    DownloadType = static_cast<int32_t>(::GetPrivateProfileIntW(kSection, L"DownloadType", 1, path.c_str()));
    // A settings file without the key turns the network check on.
    IsCheckNet = ReadProfileText(path, L"IsCheckNet", L"true") == L"true";
    DownloadScale = Utils::ParseDecimalPrefix(ReadProfileText(path, L"DownloadScale", L"0.7"));
    InstCmd = ReadProfileText(path, L"InstCmd", L"");
}

void CInstallerConfig::ParseCommandLine() { ParseCommandLine(::GetCommandLineW()); }

void CInstallerConfig::ParseCommandLine(const wchar_t* commandLine)
{
    int count = 0;
    Utils::UniqueLocalMemory argvMemory(
        ::CommandLineToArgvW(commandLine, &count));
    auto** argv = static_cast<wchar_t**>(argvMemory.Get());
    if (argv == nullptr) {
        return;
    }
    std::map<std::wstring, std::wstring> switches;
    for (int i = 0; i < count; ++i) {
        const std::wstring arg = argv[i];
        const size_t equals = arg.find(L'=');
        if (!arg.empty() && arg[0] == L'-' && equals != std::wstring::npos) {
            switches.emplace(arg.substr(0, equals), arg.substr(equals + 1)); // the first occurrence wins
        } else {
            switches.emplace(arg, std::wstring());
        }
    }
    const auto find = [&](const wchar_t* key) -> const std::wstring* {
        const auto it = switches.find(key);
        return it == switches.end() ? nullptr : &it->second;
    };
    if (const auto* v = find(L"-downloadurl")) {
        SetDownloadUrl(*v);
    }
    if (const auto* v = find(L"-downloadtype")) {
        DownloadType = Utils::ParseIntPrefix(*v);
    }
    if (const auto* v = find(L"-downloadscale")) {
        DownloadScale = Utils::ParseDecimalPrefix(*v);
    }
    if (const auto* v = find(L"-ischecknet")) {
        IsCheckNet = *v == L"true";
    }
    if (const auto* v = find(L"-instcmd")) {
        InstCmd = *v;
    }
    if (const auto* v = find(L"-language")) {
        Language = Utils::ParseIntPrefix(*v);
    }
    if (const auto* v = find(L"-insnew")) {
        InsNew = *v == L"true";
    }
}

void CInstallerConfig::SetDownloadUrl(const std::wstring& url) { DownloadUrl = Utils::RouteSubstitute(url); }
