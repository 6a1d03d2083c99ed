#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "installer_config.h"

namespace TestKit {

namespace {

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

} // namespace

bool HarnessWindows64()
{
    const std::string value = Variable("ZORVA_EXPECT_WIN64");
    EXPECT_TRUE(value == "0" || value == "1") << "run through the harness, which says whether Windows is 64-bit";
    return value == "1";
}

std::wstring HarnessRouteWord()
{
    if (Variable("ZORVA_EXPECT_OS") == "XP") {
        return L"download_silent_xp";
    }
    return HarnessWindows64() ? L"download_silent_64" : L"download_silent";
}

std::wstring RoutedOnHarness(const std::wstring& address)
{
    const std::wstring placeholder = L"${ROUTE}";
    if (address.find(placeholder) == std::wstring::npos) {
        return HarnessWindows64() ? CInstallerConfig::DefaultDownloadUrl() : address;
    }
    const std::wstring word = HarnessRouteWord();
    std::wstring out = address;
    for (size_t at = out.find(placeholder); at != std::wstring::npos; at = out.find(placeholder, at + word.size())) {
        out.replace(at, placeholder.size(), word);
    }
    return out;
}

} // namespace TestKit
