// Cases that run once per Wine configuration of the test suite; the harness
// says through ZORVA_EXPECT_* which Windows the configuration is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "debug_capture.h"
#include "files.h"
#include "harness.h"
#include "installer_config.h"
#include "log.h"
#include "os_version.h"
#include "process.h"
#include "text.h"

namespace {

std::string Expect(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

bool Expect64() { return TestKit::HarnessWindows64(); }

} // namespace

TEST(WineConfiguration, VersionNameAndArchitecture)
{
    ASSERT_FALSE(Expect("ZORVA_EXPECT_OS").empty()) << "run through the harness, which names the configuration";
    std::wstring product;
    std::wstring version;
    Utils::GetOSVersionName(product, version);
    EXPECT_EQ(L"Windows", product);
    EXPECT_EQ(Expect("ZORVA_EXPECT_OS"), Utils::UnicodeToUtf8(version));
    EXPECT_EQ(Expect64(), Utils::IsWindows64());
#ifdef _WIN64
    // A 64-bit program is not under WOW64, yet its Windows is 64-bit.
    EXPECT_TRUE(Utils::IsWindows64());
#endif
}

TEST(WineConfiguration, RouteWordReplacesEveryPlaceholder)
{
    ASSERT_FALSE(Expect("ZORVA_EXPECT_OS").empty()) << "run through the harness, which names the configuration";
    const std::wstring word = TestKit::HarnessRouteWord();
    CInstallerConfig config(L"");
    config.SetDownloadUrl(L"http://127.0.0.1/${ROUTE}/setup.exe");
    EXPECT_EQ(L"http://127.0.0.1/" + word + L"/setup.exe", config.DownloadUrl);
    config.SetDownloadUrl(L"http://127.0.0.1/${ROUTE}/${ROUTE}.exe");
    EXPECT_EQ(L"http://127.0.0.1/" + word + L"/" + word + L".exe", config.DownloadUrl);
    config.SetDownloadUrl(L"http://127.0.0.1/${route}/setup.exe");
    EXPECT_EQ(Expect64() ? CInstallerConfig::DefaultDownloadUrl() : L"http://127.0.0.1/${route}/setup.exe",
              config.DownloadUrl)
        << "the placeholder is case-sensitive";
}

TEST(WineConfiguration, AddressWithoutPlaceholder)
{
    TestKit::DebugCapture capture;
    CInstallerConfig config(L"");
    const auto atStart = capture.Strings();
    config.SetDownloadUrl(L"http://127.0.0.1/fixed/setup.exe");
    const auto strings = capture.Strings();
    if (Expect64()) {
        EXPECT_EQ(CInstallerConfig::DefaultDownloadUrl(), config.DownloadUrl);
        ASSERT_EQ(atStart.size() + 1, strings.size());
        EXPECT_EQ(L"64 bit Windows", strings.back()) << "no log prefix and no line break";
        config.ParseCommandLine(L"setup.exe -downloadurl=");
        EXPECT_EQ(CInstallerConfig::DefaultDownloadUrl(), config.DownloadUrl);
    } else {
        EXPECT_EQ(L"http://127.0.0.1/fixed/setup.exe", config.DownloadUrl);
        EXPECT_TRUE(strings.empty());
        config.ParseCommandLine(L"setup.exe -downloadurl=");
        EXPECT_EQ(L"", config.DownloadUrl);
    }
}

TEST(WineConfiguration, DebuggerSeesTheRecordBeingBuilt)
{
    // The record is built before the entry point, so its "64 bit Windows"
    // reaches a debugger that started the program.
    const auto result =
        TestKit::RunProcess(TestKit::Quote(TestKit::BinFile(L"dbgcat.exe")) + L" " + TestKit::Quote(TestKit::BinFile(L"configdump.exe")));
    ASSERT_EQ(0u, result.exitCode) << result.output;
    const auto lines = TestKit::Lines(result.output);
    const bool announced = std::find(lines.begin(), lines.end(), "64 bit Windows") != lines.end();
    EXPECT_EQ(Expect64(), announced) << result.output;
}

TEST(AnsiCodePage, FollowsLangAndCarriesLogText)
{
    const std::string acp = Expect("ZORVA_EXPECT_ACP");
    ASSERT_FALSE(acp.empty()) << "run through the harness, which sets LANG";
    ASSERT_EQ(std::stoul(acp), ::GetACP());

    struct Sample {
        UINT codePage;
        std::string bytes;
        std::wstring text;
    };
    const Sample samples[] = {
        {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", L"\x041F\x0440\x0438\x0432\x0435\x0442"},
        {936, "\xD6\xD0\xCE\xC4", L"\x4E2D\x6587"},
        {1252, "Gr\xFC\xDF" "e", L"Gr\x00FC\x00DF" L"e"},
    };
    for (const auto& s : samples) {
        if (s.codePage != ::GetACP()) {
            continue;
        }
        EXPECT_EQ(s.text, Utils::MultiByteToUnicode(s.bytes, CP_ACP));
        EXPECT_EQ(s.bytes, Utils::UnicodeToMultiByte(s.text, CP_ACP));

        // Log lines reach a listener in the ANSI code page: text it holds arrives whole.
        TestKit::DebugCapture capture;
        LOG_LINE(L"text=%s\r\n", s.text.c_str());
        const auto strings = capture.Strings();
        ASSERT_EQ(1u, strings.size());
        EXPECT_NE(std::wstring::npos, strings[0].find(L"text=" + s.text + L"\r\n"));

        // The viewer prints it in UTF-8.
        const auto result = TestKit::RunProcess(TestKit::Quote(TestKit::BinFile(L"dbgcat.exe")) + L" " +
                                             TestKit::Quote(TestKit::BinFile(L"logburst.exe")) + L" 1 1 " + s.text);
        EXPECT_NE(std::string::npos, result.output.find("burst t=0 i=0 " + Utils::UnicodeToUtf8(s.text) + "\n"))
            << result.output;
    }
}
