#include "process.h"

#include "handle.h"
#include "thread.h"

namespace TestKit {

namespace {

struct Reader {
    HANDLE pipe;
    std::string bytes;
};

void ReadAll(void* context)
{
    auto* reader = static_cast<Reader*>(context);
    char block[4096];
    DWORD got = 0;
    while (::ReadFile(reader->pipe, block, sizeof(block), &got, nullptr) && got > 0) {
        reader->bytes.append(block, got);
    }
}

} // namespace

ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs, const std::wstring& workingDir)
{
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    Utils::UniqueHandle readEnd;
    Utils::UniqueHandle writeEnd;
    if (!::CreatePipe(readEnd.Put(), writeEnd.Put(), &inherit, 0)) {
        return result;
    }
    ::SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    PROCESS_INFORMATION info{};
    std::wstring line = commandLine;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
        return result;
    }
    result.started = true;
    Utils::UniqueHandle process(info.hProcess);
    Utils::UniqueHandle thread(info.hThread);
    writeEnd.Reset(); // the reader sees the end once the child's copies close

    Reader reader{readEnd.Get(), {}};
    {
        Utils::Thread pump(&reader, L"reader", ReadAll);
        ::ResumeThread(pump.Handle());
        if (::WaitForSingleObject(process.Get(), timeoutMs) == WAIT_TIMEOUT) {
            result.timedOut = true;
            ::TerminateProcess(process.Get(), 259);
            ::WaitForSingleObject(process.Get(), INFINITE);
        }
        // A grandchild may still hold the pipe; give it a moment, then stop reading.
        if (::WaitForSingleObject(pump.Handle(), 10000) == WAIT_TIMEOUT) {
            ::CancelSynchronousIo(pump.Handle());
        }
    }
    ::GetExitCodeProcess(process.Get(), &result.exitCode);
    result.output = std::move(reader.bytes);
    return result;
}

std::wstring Quote(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

std::vector<std::string> Lines(const std::string& output)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace TestKit
