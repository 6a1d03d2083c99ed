#include "install_session.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstdlib>

#include "disk_space.h"
#include "install_events.h"
#include "network_check.h"
#include "paths.h"
#include "process_lookup.h"

namespace Install {

std::wstring DriveOf(const std::wstring& folder)
{
    wchar_t drive[_MAX_DRIVE] = {};
    if (folder.size() >= MAX_PATH ||
        _wsplitpath_s(folder.c_str(), drive, _MAX_DRIVE, nullptr, 0, nullptr, 0, nullptr, 0) != 0) {
        return std::wstring();
    }
    return drive;
}

StartRefusal CheckBeforeStart(const std::wstring& folder, bool insNew)
{
    if (!insNew && FindProcessByName(kUninstallerCopyName) != 0) {
        return StartRefusal::UninstallerRunning;
    }
    if (!insNew && FindProcessByName(kProductExeName) != 0) {
        return StartRefusal::ProductRunning;
    }
    if (!Utils::CreateDirectoryPath(folder)) {
        return StartRefusal::FolderNotCreatable;
    }
    if (!Utils::DriveHasRoom(DriveOf(folder))) {
        return StartRefusal::LowDiskSpace;
    }
    return StartRefusal::None;
}

bool NetworkAllowsStart()
{
    const HRESULT init = ::CoInitialize(nullptr);
    const DWORD result = Utils::CheckNetwork();
    if (SUCCEEDED(init)) {
        ::CoUninitialize();
    }
    return Utils::NetworkStatus(result) == 0;
}

std::wstring DefaultInstallFolder(const InstallRecord& record, bool consoleUserIsAdmin, bool processIsAdmin)
{
    if (!record.installPath.empty() && Utils::FileExists(record.uninstallerPath)) {
        return record.installPath;
    }
    wchar_t path[MAX_PATH] = {};
    if (consoleUserIsAdmin && processIsAdmin) {
        const DWORD n = ::GetEnvironmentVariableW(L"APPDATA", path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            return std::wstring(path) + L"\\zorva\\" + kProductName;
        }
    }
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, path)) &&
        FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return kProductName;
    }
    std::wstring folder = path;
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder + kProductName;
}

std::wstring UninstallerToRemove(const InstallRecord& record, const std::wstring& folder)
{
    return KeepsInstalledVersion(record.installPath, folder) ? std::wstring() : record.uninstallerPath;
}

void InstallProgress::Apply(int32_t code, double value, const std::wstring& text)
{
    switch (code) {
    case IST_INFO_INST_PATH:
        installPath_ = text;
        break;
    case IST_INFO_EXE_PATH:
        productExePath_ = text;
        break;
    case IST_INFO_UNINST_EP:
        uninstallerPath_ = text;
        break;
    case IST_INFO_STARTUP_STYLE:
        startupStyle_ = static_cast<int>(value);
        break;
    case IST_INFO_TOP_SHOW_DETENTION:
        topShowDelay_ = static_cast<unsigned>(value);
        break;
    case IST_INFO_FINISH_CLOSE_DETENTION:
        finishCloseDelay_ = static_cast<unsigned>(value);
        break;
    case IST_CODE_START:
        WriteSetIni(installPath_);
        break;
    case IST_CODE_SUCCESS:
        SaveInstallRecord(installPath_, uninstallerPath_);
        WriteSetIni(installPath_);
        break;
    default:
        break;
    }
}

} // namespace Install
