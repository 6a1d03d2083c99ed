#include "process_lookup.h"

#include <tlhelp32.h>

#include "handle.h"

DWORD FindProcessByName(const wchar_t* exeName)
{
    Utils::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return 0;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (::lstrcmpW(entry.szExeFile, exeName) == 0) {
            return entry.th32ProcessID;
        }
    }
    return 0;
}
