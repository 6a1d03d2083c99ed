#pragma once
// Chains one installation: remove the earlier version (when its uninstaller
// is there), download the package, run it, delete it. Every event of the three
// parts goes unchanged to the owner first; then the chain reacts to it.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "downloader.h"
#include "event_callback.h"
#include "install_records.h"
#include "installer.h"
#include "lock.h"
#include "uninstaller.h"

class CDownloadInstaller {
public:
    // The flags are desktopShortcut, quickLaunch and adminAccount; Configure
    // replaces everything before a Start.
    CDownloadInstaller(EventCallback ownerCallback, const std::wstring& downloadUrl,
                       const std::wstring& previousUninstaller, const std::wstring& installDir,
                       bool desktopShortcut, bool quickLaunch, bool adminAccount);
    // Destroys the downloader, then the package runner, then the remover.
    ~CDownloadInstaller();
    CDownloadInstaller(const CDownloadInstaller&) = delete;
    CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

    void Configure(const std::wstring& downloadUrl, const std::wstring& previousUninstaller,
                   const std::wstring& installDir, bool desktopShortcut, bool quickLaunch, bool adminAccount,
                   bool elevated, const std::wstring& installLanguage);

    // Runs the first phase and returns; the later phases start from the
    // reactions, on the workers' threads. With InsNew set and an earlier
    // version to remove, first waits here until the product no longer runs.
    void Start();

    // Waits up to `timeoutMs` for the package run to end (its last events
    // sent); true when it has or none runs.
    bool WaitForPackageRun(DWORD timeoutMs) const { return !installer_ || installer_->WaitForRun(timeoutMs); }

    // installDir + "\__Package_Tarvelmoss Pelnix.exe".
    static std::wstring PackagePathFor(const std::wstring& installDir);
    const std::wstring& PackagePath() const { return packagePath_; }
    // Which downloader the first Start made (kept for the orchestrator's life).
    bool HasDownloader() const { return downloader_ != nullptr; }
    DownloaderKind Kind() const { return kind_; }

    // The reaction the downloader reports to: forward, then react. Codes no
    // downloader sends today can be put through it too.
    EventCallback DownloadReaction()
    {
        return [this](int32_t c, double v, const std::wstring& t) { OnDownloadEvent(c, v, t); };
    }

private:
    void OnDownloadEvent(int32_t code, double value, const std::wstring& text);
    void OnUninstallEvent(int32_t code, double value, const std::wstring& text);
    void OnInstallEvent(int32_t code, double value, const std::wstring& text);
    void DeletePackage();
    void DeleteOrKeepForLater(const std::wstring& path);
    void DeleteLeftPackage();
    void StartRemoval();

    std::unique_ptr<CUninstaller> uninstaller_;
    std::unique_ptr<CDownloader> downloader_;
    std::unique_ptr<CInstaller> installer_;
    std::wstring downloadUrl_;
    std::wstring previousUninstaller_;
    std::wstring installDir_;
    std::wstring packagePath_;
    std::wstring installLanguage_;
    bool desktopShortcut_;
    bool quickLaunch_;
    bool adminAccount_;
    bool elevated_ = true;
    EventCallback ownerCallback_;
    DownloaderKind kind_ = DownloaderKind::SingleStreamCurl;
    // Package files whose deletion met a running program; tried again once
    // the package run has ended. Filled by the reactions, emptied on the
    // runner's worker.
    Utils::Lock leftLock_;
    std::vector<std::wstring> leftPackages_;
    // Set first by the destructor: a part still reporting is forwarded, but
    // starts nothing more on a chain that is being taken apart.
    std::atomic<bool> closing_{false};
};

namespace Install {
// The folder that holds `uninstallerPath` (its first 259 characters), without
// a trailing backslash except for a drive root.
std::wstring FolderOfFile(const std::wstring& uninstallerPath);
// The package deleted last by a failure or completion, for every orchestrator.
std::wstring LastPackage();
} // namespace Install
