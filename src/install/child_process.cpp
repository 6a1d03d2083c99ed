#include "child_process.h"

#include <process.h>

#include <memory>

#include "exception.h"
#include "lock.h"
#include "log.h"

namespace Utils {

namespace {

// Between creating the inheritable pipe ends and closing the parent's copies
// of the child's ends, another thread's CreateProcess would inherit them too
// and hold this child's pipes open; one child is set up at a time.
Lock g_inheritLock;

unsigned __stdcall DrainBody(void* context)
{
    std::unique_ptr<UniqueHandle> readEnd(static_cast<UniqueHandle*>(context));
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd->Get(), buffer, sizeof(buffer), &got, nullptr)) {
    }
    return 0;
}

constexpr DWORD kPollMs = 10;

bool ReadInto(HANDLE readEnd, std::string& bytes, DWORD maxBytes)
{
    bytes.assign(maxBytes, '\0');
    DWORD got = 0;
    if (!::ReadFile(readEnd, &bytes[0], maxBytes, &got, nullptr)) {
        bytes.clear();
        return false;
    }
    bytes.resize(got);
    return true;
}

} // namespace

void Pipe::Create()
{
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof(sa);
    sa.bInheritHandle = TRUE;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) {
        throw Exception("CreatePipe");
    }
    read.Reset(readEnd);
    write.Reset(writeEnd);
}

void DrainPipeInBackground(UniqueHandle readEnd)
{
    if (!readEnd) {
        return;
    }
    auto* owned = new UniqueHandle(std::move(readEnd));
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, DrainBody, owned, 0, nullptr);
    if (thread == 0) {
        delete owned; // closing the end makes the writer fail instead of block
        return;
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void ChildProcess::start(const std::wstring& commandLine)
{
    if (commandLine.size() > kMaxCommandChars) {
        LOG_LINE(L"command line of %u characters does not fit the %u-character buffer; not started\r\n",
                 static_cast<unsigned>(commandLine.size()), static_cast<unsigned>(kMaxCommandChars));
        throw Exception("command line too long");
    }
    commandLine.copy(commandBuffer_, kMaxCommandChars);
    commandBuffer_[commandLine.size()] = L'\0';

    LockGuard guard(g_inheritLock);
    stderrPipe_.Create();
    stdoutPipe_.Create();
    stdinPipe_.Create();

    ::SetHandleInformation(stdoutPipe_.read.Get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(stderrPipe_.read.Get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(stdinPipe_.write.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = stdinPipe_.read.Get();
    si.hStdOutput = stdoutPipe_.write.Get();
    si.hStdError = stderrPipe_.write.Get();

    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, commandBuffer_, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        LOG_LINE(L"CreateProcess failed, error %lu\r\n", ::GetLastError());
        throw Exception("CreateProcess");
    }
    process_.Reset(pi.hProcess);
    thread_.Reset(pi.hThread);
    processId_ = pi.dwProcessId;
    threadId_ = pi.dwThreadId;

    stdoutPipe_.write.Reset();
    stderrPipe_.write.Reset();
    stdinPipe_.read.Reset();

    DrainPipeInBackground(std::move(stderrPipe_.read));
}

bool ChildProcess::Read(std::string& bytes, HANDLE stop, DWORD maxBytes)
{
    // Polls instead of one blocking ReadFile: a blocked read would outlive the
    // child whenever a process it started holds the inherited pipe open.
    const HANDLE waits[2] = {process_.Get(), stop};
    const DWORD waitCount = stop ? 2 : 1;
    for (;;) {
        if (ReadAvailable(bytes, maxBytes)) {
            return true;
        }
        DWORD available = 0;
        if (!::PeekNamedPipe(stdoutPipe_.read.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            return false; // broken: every writer is gone
        }
        const DWORD woke = ::WaitForMultipleObjects(waitCount, waits, FALSE, kPollMs);
        if (woke == WAIT_OBJECT_0) {
            // What the child wrote before it ended is still read.
            return ReadAvailable(bytes, maxBytes);
        }
        if (woke != WAIT_TIMEOUT) {
            return false;
        }
    }
}

bool ChildProcess::ReadAvailable(std::string& bytes, DWORD maxBytes)
{
    DWORD available = 0;
    if (!::PeekNamedPipe(stdoutPipe_.read.Get(), nullptr, 0, nullptr, &available, nullptr) || available == 0) {
        bytes.clear();
        return false;
    }
    return ReadInto(stdoutPipe_.read.Get(), bytes, available < maxBytes ? available : maxBytes);
}

void ChildProcess::DrainOutput()
{
    DrainPipeInBackground(std::move(stdoutPipe_.read));
}

bool ChildProcess::IsRunning() const
{
    DWORD code = 0;
    return process_ && ::GetExitCodeProcess(process_.Get(), &code) && code == STILL_ACTIVE;
}

} // namespace Utils
