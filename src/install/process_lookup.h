#pragma once
// Is a program running? Used before an installation and while waiting for the product to exit.
#include <windows.h>

// Id of the first process whose bare executable file name equals `exeName`
// exactly (case-sensitive); 0 when none runs or no snapshot can be taken.
DWORD FindProcessByName(const wchar_t* exeName);
