#pragma once
// Runs the downloaded setup package as a hidden child and turns the status
// lines it writes into events 2001-2004 and 3000-3009.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "child_process.h"
#include "event_callback.h"
#include "thread.h"
#include "worker_stop.h"

class CInstaller {
public:
    // `packagePath` comes already enclosed in double quotes. The flags are
    // quickLaunch, desktopShortcut and adminAccount; the owner sets every
    // option again before each Run.
    CInstaller(EventCallback callback, const std::wstring& packagePath, const std::wstring& installDir,
               bool quickLaunch, bool desktopShortcut, bool adminAccount);
    // Waits for the worker. A package that never ends does not hold this up:
    // the worker is stopped (no further events) and the package left running.
    ~CInstaller();
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    void SetInstallDir(const std::wstring& dir) { installDir_ = dir; }
    void SetDesktopShortcut(bool on) { desktopShortcut_ = on; }
    void SetQuickLaunch(bool on) { quickLaunch_ = on; }
    void SetAdminAccount(bool on) { adminAccount_ = on; }
    void SetElevated(bool on) { elevated_ = on; }
    void SetInstallLanguage(const std::wstring& language) { installLanguage_ = language; }

    // Called on the worker once the child of a run has ended (after its last
    // event); nothing is reported through it. Set before Run.
    void SetOnChildEnded(std::function<void()> onEnded) { onChildEnded_ = std::move(onEnded); }

    // Builds the command line, waits for the previous run's worker, then starts
    // a new worker for this run and returns.
    void Run();

    // Waits up to `timeoutMs` for the current run's worker to end; true when
    // it has (or none was started).
    bool WaitForRun(DWORD timeoutMs) const;

    // Parses one decoded chunk of the package's output (install dialect) and
    // emits its events. Returns 0, 1 after a Success state, 1000 after a Fail
    // state or an Error line (the last terminal line of the chunk counts).
    int Parse(const std::wstring& chunk);

    // The command line the options give now (InstCmd from the settings).
    std::wstring BuildCommandLine() const;
    const std::wstring& CommandLine() const { return commandLine_; }
    int CodePage() const { return codePage_; }
    int VersionMajor() const { return versionMajor_; }
    int VersionMinor() const { return versionMinor_; }
    int VersionBuild() const { return versionBuild_; }

private:
    void ReadLoop();
    void Emit(int32_t code, double value, const std::wstring& text = std::wstring());

    EventCallback callback_;
    std::wstring packagePath_;
    std::wstring installDir_;
    std::wstring commandLine_;
    bool quickLaunch_;
    bool desktopShortcut_;
    int codePage_ = 0;
    std::unique_ptr<Utils::Thread> thread_;
    std::unique_ptr<Utils::ChildProcess> process_;
    int versionMajor_ = 0;
    int versionMinor_ = 0;
    int versionBuild_ = 0;
    bool adminAccount_;
    bool elevated_ = true;
    std::wstring installLanguage_;
    // One per run, made before the worker starts; the destructor signals it.
    std::unique_ptr<Utils::WorkerStop> stop_;
    std::function<void()> onChildEnded_;
};
