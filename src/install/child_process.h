#pragma once
// A hidden child process whose standard output the parent reads through an
// anonymous pipe.
#include <windows.h>

#include <string>

#include "handle.h"

namespace Utils {

// One anonymous pipe; both ends are created inheritable.
struct Pipe {
    UniqueHandle write;
    UniqueHandle read;
    // Two slots that are part of the pipe's record and not used.
    HANDLE unused1 = reinterpret_cast<HANDLE>(-1);
    HANDLE unused2 = reinterpret_cast<HANDLE>(-1);

    // Throws Utils::Exception when the pipe cannot be created.
    void Create();
};

class ChildProcess {
public:
    // Longest command line the process buffer holds.
    static constexpr size_t kMaxCommandChars = 1023;

    ChildProcess() = default;
    // Closes the child's handles and every pipe end still open; neither waits
    // for the child nor ends it.
    ~ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the child hidden, standard handles on the three pipes. Throws
    // Utils::Exception when a pipe or the process cannot be created, and for a
    // command line longer than kMaxCommandChars: a cut one would run
    // something else (a shortened "/D=" installs elsewhere).
    // The child's standard error is drained and dropped in the background, so
    // a talkative child never blocks on it.
    void start(const std::wstring& commandLine);

    // Waits until the child's standard output has bytes, the child has ended
    // or `stop` is signalled, and reads at most `maxBytes` of what is there.
    // False when nothing was read: the child ended (a process that inherited
    // the pipe from it cannot hold the caller), the pipe broke, or the stop.
    bool Read(std::string& bytes, HANDLE stop, DWORD maxBytes = 1024);
    // Takes only what is already in the pipe; false when nothing is there.
    bool ReadAvailable(std::string& bytes, DWORD maxBytes = 1024);
    // Hands standard output to a background drain: whatever the child still
    // writes is read and dropped, so it never blocks on a full pipe.
    void DrainOutput();

    HANDLE Process() const { return process_.Get(); }
    DWORD ProcessId() const { return processId_; }
    // True while the child runs (exit code STILL_ACTIVE).
    bool IsRunning() const;

private:
    wchar_t commandBuffer_[kMaxCommandChars + 1] = {};
    Pipe stderrPipe_;
    Pipe stdoutPipe_;
    Pipe stdinPipe_;
    // Declared after the pipes: the child's handles close first.
    UniqueHandle process_;
    UniqueHandle thread_;
    DWORD processId_ = 0;
    DWORD threadId_ = 0;
};

// Reads `readEnd` until it fails and drops what arrives, on a detached
// thread that owns the handle and closes it when the last writer is gone.
void DrainPipeInBackground(UniqueHandle readEnd);

} // namespace Utils
