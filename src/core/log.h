#pragma once
// Diagnostic lines on the debugger output: one prefixed wide string per call.
#include <windows.h>

#include "function_name.h"

#define ZORVA_LOG_PREFIX L"<P%05d><T%05d><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%s)<%04d>: "

// LOG_LINE(L"DL_TYPE=%d\r\n", type): the message format must be a wide literal;
// it is joined to the prefix format so one formatting pass builds the line.
#define LOG_LINE(fmt, ...)                                                                  \
    do {                                                                                    \
        static constexpr auto zorvaLogName_ =                                               \
            ::Utils::LogDetail::QualifiedName(__PRETTY_FUNCTION__);                         \
        SYSTEMTIME zorvaLogTime_;                                                           \
        ::GetLocalTime(&zorvaLogTime_);                                                     \
        ::Utils::Log(ZORVA_LOG_PREFIX fmt, static_cast<int>(::GetCurrentProcessId()),      \
                     static_cast<int>(::GetCurrentThreadId()), zorvaLogTime_.wYear,         \
                     zorvaLogTime_.wMonth, zorvaLogTime_.wDay, zorvaLogTime_.wHour,         \
                     zorvaLogTime_.wMinute, zorvaLogTime_.wSecond,                          \
                     zorvaLogTime_.wMilliseconds, zorvaLogName_.text, __LINE__,             \
                     ##__VA_ARGS__);                                                        \
    } while (0)

namespace Utils {

// Formats with the C runtime's wide printf rules ("%s" is a wide string) and
// sends the text to OutputDebugStringW. A line that cannot be allocated is dropped.
void Log(const wchar_t* format, ...);

} // namespace Utils
