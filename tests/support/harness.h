#pragma once
// What the test harness (cmake/WineTests.cmake) says of the Windows a case
// runs in, and what the installer's settings must then make of an address.
#include <string>

namespace TestKit {

// ZORVA_EXPECT_WIN64: whether the case's Windows is 64-bit. A case run
// without the harness fails (the answer would be a guess).
bool HarnessWindows64();

// The route word of the case's Windows: ZORVA_EXPECT_OS=XP gives the XP
// word, otherwise the 32- or 64-bit one.
std::wstring HarnessRouteWord();

// What route substitution must make of a configured address there: every
// "${ROUTE}" replaced by the route word; an address without one is kept on
// 32-bit Windows and is the built-in default address on 64-bit Windows.
std::wstring RoutedOnHarness(const std::wstring& address);

} // namespace TestKit
