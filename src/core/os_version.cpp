#include "os_version.h"

#include <windows.h>

#include "handle.h"

namespace Utils {

std::wstring OSVersionNameFor(unsigned major, unsigned minor, unsigned build, bool serverR2)
{
    switch (major) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
        return L"XP-";
    case 5:
        if (minor == 0) {
            return L"2K";
        }
        if (minor == 1) {
            return L"XP";
        }
        if (minor == 2) {
            return serverR2 ? L"Server 2003 R2" : L"Server 2003";
        }
        return L"XP+";
    case 6:
        switch (minor) {
        case 0:
            return L"Vista";
        case 1:
            return L"7";
        case 2:
            return L"8";
        case 3:
            return L"8.1";
        default:
            return L"8.1+";
        }
    case 10:
        return minor == 0 ? L"10" : L"10+";
    default:
        return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(build);
    }
}

void GetOSVersionName(std::wstring& product, std::wstring& version)
{
    product = L"Windows";
    version.clear();
    UniqueLibrary ntdll(::LoadLibraryW(L"ntdll.dll"));
    if (!ntdll) {
        version = L"XP-";
        return;
    }
    using GetNumbers = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    auto* getNumbers = reinterpret_cast<GetNumbers>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll.Get(), "RtlGetNtVersionNumbers")));
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    if (getNumbers != nullptr) {
        getNumbers(&major, &minor, &build);
    }
    build &= 0xFFFF;
    const bool serverR2 = major == 5 && minor == 2 && ::GetSystemMetrics(SM_SERVERR2) != 0;
    version = OSVersionNameFor(major, minor, build, serverR2);
}

bool IsWindows64()
{
#ifdef _WIN64
    // A 64-bit program runs on 64-bit Windows only; WOW64 would say "no".
    return true;
#else
    using IsWow64 = BOOL(WINAPI*)(HANDLE, BOOL*);
    auto* isWow64 = reinterpret_cast<IsWow64>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "IsWow64Process")));
    if (isWow64 == nullptr) {
        return false;
    }
    BOOL wow64 = FALSE;
    if (isWow64(::GetCurrentProcess(), &wow64)) {
        return wow64 != FALSE;
    }
    SYSTEM_INFO info{};
    ::GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
#endif
}

} // namespace Utils
