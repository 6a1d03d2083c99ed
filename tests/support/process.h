#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace TestKit {

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::string output; // standard output and standard error, as bytes
};

// Runs a command line with its output captured; a run that outlasts the
// timeout is terminated and reported as timed out.
ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 60000,
                         const std::wstring& workingDir = L"");

// Quotes one argument for CommandLineToArgvW.
std::wstring Quote(const std::wstring& argument);

// Lines of UTF-8 output, without their line breaks ("\r" too).
std::vector<std::string> Lines(const std::string& output);

} // namespace TestKit
