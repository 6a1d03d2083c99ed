#include "privileges.h"

#include <lm.h>
#include <wtsapi32.h>

bool IsTokenAdmin()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                    0, 0, 0, 0, &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    const BOOL checked = ::CheckTokenMembership(nullptr, administrators, &member);
    ::FreeSid(administrators);
    return checked && member;
}

bool IsAdminPrivilegeLevel(DWORD privilege)
{
    return privilege == USER_PRIV_ADMIN;
}

bool IsAccountAdmin(const std::wstring& userName)
{
    LPBYTE buffer = nullptr;
    if (::NetUserGetInfo(nullptr, userName.c_str(), 1, &buffer) != NERR_Success || buffer == nullptr) {
        if (buffer != nullptr) {
            ::NetApiBufferFree(buffer);
        }
        return false;
    }
    const bool admin = IsAdminPrivilegeLevel(reinterpret_cast<USER_INFO_1*>(buffer)->usri1_priv);
    ::NetApiBufferFree(buffer);
    return admin;
}

bool GetActiveConsoleUserName(std::wstring& userName)
{
    const DWORD session = ::WTSGetActiveConsoleSessionId();
    LPWSTR name = nullptr;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, &name, &bytes) ||
        name == nullptr) {
        return false;
    }
    std::wstring found(name);
    ::WTSFreeMemory(name);
    if (found.empty()) {
        return false;
    }
    userName = found;
    return true;
}

bool IsConsoleUserAdmin()
{
    std::wstring name;
    return GetActiveConsoleUserName(name) && IsAccountAdmin(name);
}
