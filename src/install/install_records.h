#pragma once
// The records an installation leaves behind: two registry values under
// HKEY_CURRENT_USER, set.ini in the install folder and the analytics ini.
// Plain functions; the main window passes its own fields in.
#include <string>

namespace Install {

inline constexpr wchar_t kProductName[] = L"Tarvelmoss Pelnix";
// The product's program, looked up by name to see whether the product runs.
inline constexpr wchar_t kProductExeName[] = L"RadidaZezuzadi.exe";
// The earlier version's uninstaller copy in the installer's temporary folder.
inline constexpr wchar_t kUninstallerCopyName[] = L"Tarvelmoss Pelnix_un_asa.exe";
inline constexpr wchar_t kRecordKey[] = L"Software\\ZorvaSoft\\Tarvelmoss Pelnix";
inline constexpr wchar_t kInstallPathValue[] = L"InstallPath";
inline constexpr wchar_t kUninstallerValue[] = L"UnInstallEp";
inline constexpr wchar_t kAnalyticsIniName[] = L"VUVuzererIriradodo.ini";

// One value of the record key. False when the key or the value is missing;
// the value is then empty. The value's type is not checked.
bool ReadRecordValue(const std::wstring& name, std::wstring& value);
// Stores a REG_SZ with its terminating NUL, creating the key when missing.
bool WriteRecordValue(const std::wstring& name, const std::wstring& value);

struct InstallRecord {
    std::wstring installPath;     // recordedInstallPath
    std::wstring uninstallerPath; // recordedUninstallerPath
};

// Missing values stay empty; without "UnInstallEp" the uninstaller is
// assumed to be "uninst.ep" in the recorded folder.
InstallRecord LoadInstallRecord();

// True only when the chosen folder is the recorded one and its set.ini says
// "IsOverride" = "false" in section "Uninstall".
bool KeepsInstalledVersion(const std::wstring& recordedInstallPath, const std::wstring& chosenFolder);

// set.ini in the folder (one backslash between the parts).
std::wstring SetIniPath(const std::wstring& folder);
// APPDATA (or the common documents folder) + "ZorvaData" + product name.
std::wstring AnalyticsFolder();

// Writes set.ini in installPath and the analytics time stamp; failures are ignored.
void WriteSetIni(const std::wstring& installPath);

// Writes "InstallPath" and, when the uninstaller file exists, "UnInstallEp".
// An empty uninstallerPath becomes installPath + "\uninst.ep" (the window keeps it).
void SaveInstallRecord(const std::wstring& installPath, std::wstring& uninstallerPath);

} // namespace Install
