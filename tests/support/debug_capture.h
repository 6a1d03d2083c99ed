#pragma once
// Collects this process's own debug strings while it lives. Wine hands
// OutputDebugStringW to an in-process vectored handler as the ANSI string of
// exception 0x40010006, so text outside the ANSI code page arrives as "?".
#include <string>
#include <vector>

namespace TestKit {

class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    // Every string since construction, decoded to wide text, in arrival order.
    std::vector<std::wstring> Strings() const;
};

} // namespace TestKit
