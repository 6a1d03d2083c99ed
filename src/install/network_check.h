#pragma once
// Can the machine reach the internet? Asked through the system's network list manager.
#include <windows.h>

namespace Utils {

// Status half of a CheckNetwork result (its high 16 bits).
constexpr DWORD kNetworkOk = 0;          // internet, or the probe could not run
constexpr DWORD kNetworkNone = 1;        // no connectivity at all
constexpr DWORD kNetworkNoInternet = 2;  // connectivity, but not to the internet

// Low 16 bits: NLM_CONNECTIVITY flags; high 16 bits: status. The calling
// thread must have initialised COM; without a manager object the result is 0.
DWORD CheckNetwork();

// The result CheckNetwork builds from the manager's two answers.
DWORD ComposeNetworkResult(DWORD connectivity, bool connectedToInternet);
DWORD NetworkStatus(DWORD result);
DWORD NetworkFlags(DWORD result);

} // namespace Utils
