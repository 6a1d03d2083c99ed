#pragma once
// An event as the tests compare it: code, value, text.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "event_recorder.h"

namespace TestKit {

struct Seen {
    int32_t code;
    double value;
    std::wstring text;
    bool operator==(const Seen& o) const { return code == o.code && value == o.value && text == o.text; }
};

inline void PrintTo(const Seen& s, std::ostream* os)
{
    std::string narrow;
    for (wchar_t c : s.text) {
        narrow += c == L'\r' ? std::string("\\r") : c < 128 ? std::string(1, static_cast<char>(c)) : std::string("?");
    }
    *os << "{" << s.code << ", " << s.value << ", \"" << narrow << "\"}";
}

inline std::vector<Seen> SeenEvents(const EventRecorder& recorder)
{
    std::vector<Seen> out;
    for (const auto& e : recorder.Events()) {
        out.push_back({e.code, e.value, e.text});
    }
    return out;
}

} // namespace TestKit
