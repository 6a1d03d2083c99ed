#pragma once
// How privileged the user is; handed to the setup package as -adminact and -authorizationact.
#include <windows.h>

#include <string>

// The installer's own token is a member of the local Administrators group
// (false for an administrator running without elevation under UAC).
bool IsTokenAdmin();

// The named local account has administrator privilege; false when the lookup fails.
bool IsAccountAdmin(const std::wstring& userName);

// User name of the session attached to the physical console; false when the
// query fails or nobody is logged on there.
bool GetActiveConsoleUserName(std::wstring& userName);

// The admin-account flag: IsAccountAdmin of the console user, false without one.
bool IsConsoleUserAdmin();

// The account decision on a NetUserGetInfo privilege level.
bool IsAdminPrivilegeLevel(DWORD privilege);
