#include "guid.h"

#include <objbase.h>

#include <cwchar>

namespace Utils {

std::wstring FormatGuidString(const GUID& g)
{
    wchar_t text[40] = {};
    _snwprintf(text, 39, L"%08X%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(g.Data1),
               g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
               g.Data4[6], g.Data4[7]);
    return text;
}

std::wstring CreateGuidString()
{
    GUID guid{};
    if (FAILED(::CoCreateGuid(&guid))) {
        return {};
    }
    return FormatGuidString(guid);
}

} // namespace Utils
