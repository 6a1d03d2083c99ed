#include "install_records.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <clocale>
#include <cwchar>
#include <vector>

#include "guid.h"
#include "paths.h"

namespace Install {
namespace {

constexpr size_t kPathChars = MAX_PATH;

// Empty when the result would not fit a path buffer, or without a left part
// (a bare file name would land in the Windows folder for the ini functions).
std::wstring JoinPath(const std::wstring& left, const std::wstring& right)
{
    if (left.empty()) {
        return {};
    }
    std::wstring joined = left;
    if (!joined.empty() && joined.back() != L'\\') {
        joined += L'\\';
    }
    joined += right;
    return joined.size() < kPathChars ? joined : std::wstring();
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring ModuleFileName()
{
    wchar_t path[kPathChars] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, kPathChars);
    if (length == 0 || length >= kPathChars) {
        return {};
    }
    const wchar_t* name = std::wcsrchr(path, L'\\');
    return name ? name + 1 : path;
}

std::wstring LocalTimeText()
{
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    wchar_t text[64] = {};
    std::swprintf(text, 64, L"%d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

} // namespace

bool ReadRecordValue(const std::wstring& name, std::wstring& value)
{
    value.clear();
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    bool found = ::RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
        // Two spare zeroed characters: data stored without its NUL still ends.
        std::vector<wchar_t> buffer((size + 1) / sizeof(wchar_t) + 2, L'\0');
        DWORD bytes = size;
        found = ::RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                                   &bytes) == ERROR_SUCCESS;
        if (found) {
            value = buffer.data();
        }
    }
    ::RegCloseKey(key);
    return found;
}

bool WriteRecordValue(const std::wstring& name, const std::wstring& value)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    const bool set = ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      bytes) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return set;
}

InstallRecord LoadInstallRecord()
{
    InstallRecord record;
    ReadRecordValue(kInstallPathValue, record.installPath);
    ReadRecordValue(kUninstallerValue, record.uninstallerPath);
    if (record.uninstallerPath.empty() && !record.installPath.empty()) {
        record.uninstallerPath = record.installPath + L"\\uninst.ep";
    }
    return record;
}

bool KeepsInstalledVersion(const std::wstring& recordedInstallPath, const std::wstring& chosenFolder)
{
    wchar_t relative[kPathChars] = {};
    if (!::PathRelativePathToW(relative, recordedInstallPath.c_str(), FILE_ATTRIBUTE_DIRECTORY, chosenFolder.c_str(),
                               FILE_ATTRIBUTE_DIRECTORY) ||
        std::wcscmp(relative, L".") != 0) {
        return false;
    }
    const std::wstring ini = SetIniPath(chosenFolder);
    if (ini.empty()) {
        return false;
    }
    wchar_t overrideText[20] = {};
    ::GetPrivateProfileStringW(L"Uninstall", L"IsOverride", L"true", overrideText, 20, ini.c_str());
    return std::wcscmp(overrideText, L"false") == 0;
}

std::wstring SetIniPath(const std::wstring& folder) { return JoinPath(folder, L"set.ini"); }

std::wstring AnalyticsFolder()
{
    wchar_t base[kPathChars] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", base, kPathChars);
    if (length >= kPathChars) {
        return {};
    }
    if (length == 0 && ::SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) {
        return {};
    }
    const std::wstring data = JoinPath(base, L"ZorvaData");
    return data.empty() ? data : JoinPath(data, kProductName);
}

void WriteSetIni(const std::wstring& installPath)
{
    std::setlocale(LC_ALL, "en_GB.UTF-8");

    const std::wstring ini = SetIniPath(installPath);
    if (!ini.empty()) {
        ::WritePrivateProfileStringW(L"Install", L"APPStore", ModuleFileName().c_str(), ini.c_str());
        ::WritePrivateProfileStringW(L"Install", L"AppName", kProductName, ini.c_str());
        ::WritePrivateProfileStringW(L"Install", L"DeviceID", Utils::CreateGuidString().c_str(), ini.c_str());
    }

    const std::wstring folder = AnalyticsFolder();
    if (folder.empty() || !Utils::CreateDirectoryPath(folder)) {
        return;
    }
    const std::wstring analytics = JoinPath(folder, kAnalyticsIniName);
    if (analytics.empty()) {
        return;
    }
    if (!ini.empty()) {
        ::WritePrivateProfileStringW(L"Install", L"VUVuzererIriradodoIni", analytics.c_str(), ini.c_str());
    }
    ::WritePrivateProfileStringW(L"Init", L"UpdateTime", LocalTimeText().c_str(), analytics.c_str());
}

void SaveInstallRecord(const std::wstring& installPath, std::wstring& uninstallerPath)
{
    WriteRecordValue(kInstallPathValue, installPath);
    if (uninstallerPath.empty()) {
        uninstallerPath = installPath + L"\\uninst.ep";
    }
    if (FileExists(uninstallerPath)) {
        WriteRecordValue(kUninstallerValue, uninstallerPath);
    }
}

} // namespace Install
