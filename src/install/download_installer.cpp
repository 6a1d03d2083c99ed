#include "download_installer.h"

#include <windows.h>

#include "downloader_factory.h"
#include "install_events.h"
#include "install_records.h"
#include "installer_config.h"
#include "log.h"
#include "paths.h"
#include "process_lookup.h"

namespace {

constexpr int kLeftPackageAttempts = 40;
constexpr DWORD kLeftPackagePauseMs = 50;

// Outlives every orchestrator. No lock: the phases that touch it follow one another.
std::wstring g_lastPackage;

} // namespace

namespace Install {

std::wstring FolderOfFile(const std::wstring& uninstallerPath)
{
    const std::wstring path = uninstallerPath.substr(0, MAX_PATH - 1);
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return std::wstring();
    }
    // "C:\uninst.ep" lies in "C:\", not in "C:".
    if (slash == 2 && path[1] == L':') {
        return path.substr(0, 3);
    }
    return path.substr(0, slash);
}

std::wstring LastPackage() { return g_lastPackage; }

} // namespace Install

CDownloadInstaller::CDownloadInstaller(EventCallback ownerCallback, const std::wstring& downloadUrl,
                                       const std::wstring& previousUninstaller, const std::wstring& installDir,
                                       bool desktopShortcut, bool quickLaunch, bool adminAccount)
    : downloadUrl_(downloadUrl),
      previousUninstaller_(previousUninstaller),
      installDir_(installDir),
      desktopShortcut_(desktopShortcut),
      quickLaunch_(quickLaunch),
      adminAccount_(adminAccount),
      ownerCallback_(std::move(ownerCallback))
{
}

CDownloadInstaller::~CDownloadInstaller()
{
    closing_ = true;
    downloader_.reset();
    installer_.reset();
    uninstaller_.reset();
}

std::wstring CDownloadInstaller::PackagePathFor(const std::wstring& installDir)
{
    return installDir + L"\\__Package_" + Install::kProductName + L".exe";
}

void CDownloadInstaller::Configure(const std::wstring& downloadUrl, const std::wstring& previousUninstaller,
                                   const std::wstring& installDir, bool desktopShortcut, bool quickLaunch,
                                   bool adminAccount, bool elevated, const std::wstring& installLanguage)
{
    downloadUrl_ = downloadUrl;
    previousUninstaller_ = previousUninstaller;
    installDir_ = installDir;
    desktopShortcut_ = desktopShortcut;
    quickLaunch_ = quickLaunch;
    adminAccount_ = adminAccount;
    elevated_ = elevated;
    installLanguage_ = installLanguage;
}

// On the interface thread. The fields are written here and by Configure only,
// before any worker of the chain exists.
void CDownloadInstaller::Start()
{
    LOG_LINE(L"DL_TYPE=%d\r\n", static_cast<int>(InstallerConfig.DownloadType));
    packagePath_ = PackagePathFor(installDir_);

    if (!downloader_) {
        // Made once: the address and package path stay those of the first Start.
        kind_ = SelectDownloader(InstallerConfig.DownloadType);
        downloader_ = MakeDownloader(kind_, DownloadReaction(), downloadUrl_, packagePath_);
    }
    if (!installer_) {
        installer_ = std::make_unique<CInstaller>(
            [this](int32_t c, double v, const std::wstring& t) { OnInstallEvent(c, v, t); },
            L"\"" + packagePath_ + L"\"", installDir_, quickLaunch_, desktopShortcut_, adminAccount_);
        // A package that reported its end may still run, and a running program
        // cannot be deleted: the deletion is tried again once it has ended.
        installer_->SetOnChildEnded([this] { DeleteLeftPackage(); });
    }
    installer_->SetInstallDir(installDir_);
    installer_->SetDesktopShortcut(desktopShortcut_);
    installer_->SetQuickLaunch(quickLaunch_);
    installer_->SetAdminAccount(adminAccount_);
    installer_->SetElevated(elevated_);
    installer_->SetInstallLanguage(installLanguage_);

    if (Utils::FileExists(previousUninstaller_)) {
        StartRemoval();
    } else {
        downloader_->Start();
    }
}

void CDownloadInstaller::StartRemoval()
{
    const std::wstring tempDir = Utils::GetInstallerTempDir();
    const std::wstring copyPath = tempDir.empty() ? std::wstring() : tempDir + Install::kUninstallerCopyName;
    const std::wstring previousDir = Install::FolderOfFile(previousUninstaller_);
    // Not checked: the runner reports a copy that is not there.
    if (!copyPath.empty()) {
        ::CopyFileW(previousUninstaller_.c_str(), copyPath.c_str(), FALSE);
    }
    uninstaller_ = std::make_unique<CUninstaller>(
        [this](int32_t c, double v, const std::wstring& t) { OnUninstallEvent(c, v, t); }, copyPath, previousDir);
    if (InstallerConfig.InsNew) {
        while (FindProcessByName(Install::kProductExeName) != 0) {
            ::Sleep(100);
        }
    }
    uninstaller_->Run();
}

// On the downloader's threads; 1003 runs the package from here, 1005 restarts
// the download from inside the downloader's own callback.
void CDownloadInstaller::OnDownloadEvent(int32_t code, double value, const std::wstring& text)
{
    ownerCallback_(code, value, text);
    if (closing_) {
        return;
    }
    switch (code) {
    case DL_CODE_START:
        Utils::CreateDirectoryPath(installDir_);
        LOG_LINE(L"DL_CODE_START\r\n");
        break;
    case DL_CODE_PROGRESS:
        LOG_LINE(L"DL_CODE_PROGRESS\r\n");
        break;
    case DL_CODE_SUCCESS:
        LOG_LINE(L"DOWNLOAD_SUCCESS\r\n");
        if (installer_) {
            installer_->Run();
        }
        LOG_LINE(L"DL_CODE_SUCCESS\r\n");
        break;
    case DL_CODE_FAIL:
        DeletePackage();
        LOG_LINE(L"DL_CODE_FAIL\r\n");
        break;
    case DL_CODE_RETRY:
        LOG_LINE(L"DL_CODE_RETRY\r\n");
        if (downloader_) {
            downloader_->Start();
        }
        break;
    default:
        break; // 1006 and anything else: forwarded only
    }
}

// On the "UnInstaller" worker; 5003 starts the download from here.
void CDownloadInstaller::OnUninstallEvent(int32_t code, double value, const std::wstring& text)
{
    ownerCallback_(code, value, text);
    if (closing_) {
        return;
    }
    switch (code) {
    case UNIST_CODE_START:
        LOG_LINE(L"UNIST_CODE_START\r\n");
        break;
    case UNIST_CODE_PROGRESS:
        LOG_LINE(L"UNIST_CODE_PROGRESS\r\n");
        break;
    case UNIST_CODE_SUCCESS:
        LOG_LINE(L"UNIST_CODE_SUCCESS\r\n");
        if (installer_ && downloader_) {
            downloader_->Start();
        }
        break;
    case UNIST_CODE_FAIL:
        LOG_LINE(L"UNIST_CODE_FAIL\r\n");
        break;
    case UNIST_CODE_ERROR:
        LOG_LINE(L"UNIST_CODE_ERROR\r\n");
        break;
    default:
        break;
    }
}

// On the package runner's worker.
void CDownloadInstaller::OnInstallEvent(int32_t code, double value, const std::wstring& text)
{
    ownerCallback_(code, value, text);
    if (closing_) {
        return;
    }
    switch (code) {
    case IST_CODE_START:
        LOG_LINE(L"IST_CODE_START\r\n");
        break;
    case IST_CODE_PROGRESS:
        LOG_LINE(L"IST_CODE_PROGRESS %.3f\r\n", value);
        break;
    case IST_CODE_SUCCESS:
        DeletePackage();
        LOG_LINE(L"INSTALL_SUCCESS\r\n");
        break;
    case IST_CODE_FAIL:
        DeletePackage();
        LOG_LINE(L"IST_CODE_FAIL\r\n");
        break;
    default:
        break; // 3000-3009: forwarded only
    }
}

void CDownloadInstaller::DeletePackage()
{
    // Failures are ignored here: a file that is not there is already deleted,
    // and one whose program still runs is deleted when the run ends.
    DeleteOrKeepForLater(packagePath_);
    if (!g_lastPackage.empty()) {
        DeleteOrKeepForLater(g_lastPackage);
    }
    g_lastPackage = packagePath_;
}

void CDownloadInstaller::DeleteOrKeepForLater(const std::wstring& path)
{
    if (::DeleteFileW(path.c_str())) {
        return;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        Utils::LockGuard hold(leftLock_);
        leftPackages_.push_back(path);
    }
}

void CDownloadInstaller::DeleteLeftPackage()
{
    std::vector<std::wstring> left;
    {
        Utils::LockGuard hold(leftLock_);
        left.swap(leftPackages_);
    }
    for (const std::wstring& path : left) {
        // The program's file may stay locked a moment after its process has ended.
        int attempt = 0;
        while (!::DeleteFileW(path.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
            if (++attempt == kLeftPackageAttempts) {
                LOG_LINE(L"the package could not be deleted, error %lu\r\n", ::GetLastError());
                break;
            }
            ::Sleep(kLeftPackagePauseMs);
        }
    }
}
