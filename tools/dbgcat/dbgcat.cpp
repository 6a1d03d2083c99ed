// dbgcat [-n] command line...
//
// Runs the command line as its debuggee and prints every debug string the
// debuggee sends, one per line, in UTF-8 on standard output; a string's own
// trailing line break is not doubled. With -n it also prints a line
// "#thread <id> <name>" for every thread the debuggee names. Exits with the
// debuggee's exit code, or 125 when the debuggee cannot be started.
#include <windows.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "handle.h"
#include "text.h"

namespace {

constexpr DWORD kSetThreadNameException = 0x406D1388;

void WriteLine(HANDLE out, std::wstring text)
{
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'\0')) {
        text.pop_back();
    }
    std::string bytes = Utils::UnicodeToUtf8(text);
    bytes += '\n';
    DWORD written = 0;
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info)
{
    const size_t unit = info.fUnicode ? sizeof(wchar_t) : 1;
    std::vector<char> bytes(static_cast<size_t>(info.nDebugStringLength) * unit);
    SIZE_T got = 0;
    if (bytes.empty() || !::ReadProcessMemory(process, info.lpDebugStringData, bytes.data(), bytes.size(), &got)) {
        return {};
    }
    if (info.fUnicode) {
        std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), got / sizeof(wchar_t));
        return text.substr(0, text.find(L'\0'));
    }
    // Narrow strings come in the ANSI code page (Wine converts wide ones so).
    std::string text(bytes.data(), got);
    return Utils::MultiByteToUnicode(text.substr(0, text.find('\0')), CP_ACP);
}

std::wstring ReadThreadName(HANDLE process, const EXCEPTION_RECORD& record)
{
    if (record.NumberParameters < 3 || record.ExceptionInformation[0] != 0x1000) {
        return {};
    }
    // Byte by byte: a name near the end of a page must not fail the whole read.
    const auto* at = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
    std::string name;
    char c = 0;
    while (name.size() < 256 && ::ReadProcessMemory(process, at + name.size(), &c, 1, nullptr) && c != '\0') {
        name += c;
    }
    return Utils::MultiByteToUnicode(name, CP_ACP);
}

} // namespace

int wmain()
{
    const wchar_t* rest = SkipArguments(::GetCommandLineW(), 1);
    bool names = false;
    if (rest[0] == L'-' && rest[1] == L'n' && (rest[2] == L' ' || rest[2] == L'\t')) {
        names = true;
        rest = SkipArguments(rest, 1);
    }
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (*rest == L'\0') {
        WriteLine(::GetStdHandle(STD_ERROR_HANDLE), L"usage: dbgcat [-n] command line...");
        return 125;
    }

    std::wstring commandLine = rest;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                          nullptr, &startup, &process)) {
        WriteLine(::GetStdHandle(STD_ERROR_HANDLE),
                  L"dbgcat: cannot start the debuggee, error " + std::to_wstring(::GetLastError()));
        return 125;
    }
    Utils::UniqueHandle processHandle(process.hProcess);
    Utils::UniqueHandle threadHandle(process.hThread);

    DWORD exitCode = 0;
    for (bool running = true; running;) {
        DEBUG_EVENT event{};
        if (!::WaitForDebugEvent(&event, INFINITE)) {
            break;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT:
            WriteLine(out, ReadDebugString(process.hProcess, event.u.DebugString));
            break;
        case EXCEPTION_DEBUG_EVENT: {
            const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
            if (record.ExceptionCode == kSetThreadNameException) {
                if (names) {
                    WriteLine(out, L"#thread " + std::to_wstring(record.ExceptionInformation[2]) + L" " +
                                       ReadThreadName(process.hProcess, record));
                }
            } else if (record.ExceptionCode != EXCEPTION_BREAKPOINT || !event.u.Exception.dwFirstChance) {
                status = DBG_EXCEPTION_NOT_HANDLED;
            }
            break;
        }
        case CREATE_PROCESS_DEBUG_EVENT:
            Utils::UniqueFile(event.u.CreateProcessInfo.hFile).Reset();
            break;
        case LOAD_DLL_DEBUG_EVENT:
            Utils::UniqueFile(event.u.LoadDll.hFile).Reset();
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode = event.u.ExitProcess.dwExitCode;
            running = false;
            break;
        default:
            break;
        }
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    return static_cast<int>(exitCode);
}
