#pragma once
// What every front end of an installation shares, the window and the headless
// runner alike: the checks before a start, the choice of the earlier version
// to remove, and the records written from the package's events. The front end
// only shows and asks.
#include <cstdint>
#include <string>

#include "install_records.h"

namespace Install {

// Why a start is refused, in the order the checks run.
enum class StartRefusal {
    None,
    UninstallerRunning, // an earlier version's uninstaller copy runs
    ProductRunning,     // the product runs
    FolderNotCreatable, // the folder or a parent cannot be created
    LowDiskSpace,       // under 1 GiB available on the folder's drive
};

// Runs the checks before a start on `folder` (creating it); with `insNew` the
// two process checks are left out.
StartRefusal CheckBeforeStart(const std::wstring& folder, bool insNew);

// The drive part of a folder ("C:" of "C:\x\y"); empty when it has none.
std::wstring DriveOf(const std::wstring& folder);

// True when the network check lets an installation start: the status half of
// the result is 0. Initialises COM on the calling thread for the check.
bool NetworkAllowsStart();

// The folder offered first: the recorded one while its uninstaller is there;
// else APPDATA\zorva\<product> for an administrator account with an elevated
// process; else the (x86) program files folder + product name.
std::wstring DefaultInstallFolder(const InstallRecord& record, bool consoleUserIsAdmin, bool processIsAdmin);

// The uninstaller to hand to the orchestrator: the recorded one, or empty
// when the earlier installation in the same folder stays (override rule).
std::wstring UninstallerToRemove(const InstallRecord& record, const std::wstring& folder);

// Follows a running installation's events on the front end's thread and
// writes the records at the points where the package has started (2001) and
// succeeded (2003).
class InstallProgress {
public:
    explicit InstallProgress(const std::wstring& installPath) : installPath_(installPath) {}

    // One event, in posting order.
    void Apply(int32_t code, double value, const std::wstring& text);

    const std::wstring& InstallPath() const { return installPath_; }
    const std::wstring& ProductExePath() const { return productExePath_; }
    const std::wstring& UninstallerPath() const { return uninstallerPath_; }
    int StartupStyle() const { return startupStyle_; }
    unsigned TopShowDelay() const { return topShowDelay_; }
    unsigned FinishCloseDelay() const { return finishCloseDelay_; }

private:
    std::wstring installPath_;
    std::wstring productExePath_;
    std::wstring uninstallerPath_;
    int startupStyle_ = 0;
    unsigned topShowDelay_ = 3000;
    unsigned finishCloseDelay_ = 0xFFFFFFFFu;
};

} // namespace Install
