#pragma once
// Removes an earlier version through a copy of its own uninstaller, run
// hidden, and reports the outcome as events 5002-5005.
#include <windows.h>

#include <memory>
#include <string>

#include "child_process.h"
#include "event_callback.h"
#include "thread.h"
#include "worker_stop.h"

class CUninstaller {
public:
    // `uninstallerCopy` is the copy to run; `previousDir` the folder to remove.
    CUninstaller(EventCallback callback, const std::wstring& uninstallerCopy, const std::wstring& previousDir);
    // Waits for the worker; an uninstaller that never ends is left running and
    // its worker stopped, so the owner's thread is never held up by it.
    ~CUninstaller();
    CUninstaller(const CUninstaller&) = delete;
    CUninstaller& operator=(const CUninstaller&) = delete;

    // Builds the command line and starts the "UnInstaller" worker; once per runner.
    void Run();

    // Waits up to `timeoutMs` for the current run's worker to end; true when
    // it has (or none was started).
    bool WaitForRun(DWORD timeoutMs) const;

    // Parses one chunk in the uninstall dialect; returns 1 after a Success
    // state, 1000 after a Fail state or an Error line, else 0.
    int Parse(const std::wstring& chunk);

    // The command line for the accounts as they are now.
    std::wstring BuildCommandLine() const;
    const std::wstring& CommandLine() const { return commandLine_; }
    int CodePage() const { return codePage_; }

private:
    void Body();
    void Emit(int32_t code, double value, const std::wstring& text = std::wstring());

    EventCallback callback_;
    std::wstring commandLine_;
    std::wstring uninstallerCopy_;
    std::wstring previousDir_;
    int codePage_ = 0;
    std::unique_ptr<Utils::Thread> thread_;
    std::unique_ptr<Utils::ChildProcess> process_;
    Utils::WorkerStop stop_;
};
