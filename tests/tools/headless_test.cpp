// The headless runner end to end: a real installation chain in its own
// process, against nginx, with the scriptchild fixture as package and as the
// earlier version's uninstaller; the records in the test prefix afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files.h"
#include "named_turn.h"
#include "install_records.h"
#include "packages.h"
#include "paths.h"
#include "process.h"
#include "servers.h"
#include "temp_dir.h"
#include "text.h"

namespace {

struct Line {
    int code;
    std::string value;
    std::string text;
};

std::vector<Line> EventLines(const std::string& output)
{
    std::vector<Line> lines;
    for (const std::string& l : TestKit::Lines(output)) {
        const size_t a = l.find('\t');
        const size_t b = a == std::string::npos ? a : l.find('\t', a + 1);
        if (b == std::string::npos) {
            continue;
        }
        lines.push_back({std::atoi(l.substr(0, a).c_str()), l.substr(a + 1, b - a - 1), l.substr(b + 1)});
    }
    return lines;
}

std::vector<int> CodesWithoutProgress(const std::vector<Line>& lines)
{
    std::vector<int> codes;
    for (const Line& l : lines) {
        if (l.code != 1002 && l.code != 2002 && l.code != 5002) {
            codes.push_back(l.code);
        }
    }
    return codes;
}

// The runner writes the product's record key, which the records tests use
// too: every case takes the same named mutex and starts and ends without it.
// Its checks see every process of the prefix: the cases also take the
// product's turn, and CMake keeps them apart from the uninstaller copy's users.
class Headless : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(servers_.Ok());
        ASSERT_TRUE(productTurn_.Held());
        ASSERT_TRUE(recordTurn_.Held());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, Install::kRecordKey);
        package_ = TestKit::MakePackageOf(
            servers_, TestKit::ReadBytes(TestKit::BinFile(L"scriptchild.exe")) + TestKit::RandomBytes(1200000, 11),
            "HeadlessSetup.exe");
        folder_ = dir_ / L"Tarvelmoss Pelnix";
    }
    void TearDown() override
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, Install::kRecordKey);
    }

    void PackageScript(const std::string& script)
    {
        Utils::CreateDirectoryPath(folder_);
        ASSERT_TRUE(TestKit::WriteBytes(folder_ + L"\\__Package_Tarvelmoss Pelnix.script", script));
    }
    TestKit::ProcessResult Run(const std::wstring& arguments)
    {
        return TestKit::RunProcess(TestKit::Quote(TestKit::BinFile(L"headless_install.exe")) + L" " + arguments,
                                   120000);
    }
    // Routed, as a configured address is: on 64-bit Windows one without the
    // placeholder would be replaced by the built-in default address.
    std::wstring Url(const std::string& rel) const { return servers_.NginxW("/${ROUTE}" + rel); }
    std::wstring Url(const TestKit::Package& p) const { return Url(p.Rel()); }
    std::wstring Args(const std::wstring& url) const
    {
        return L"-downloadurl=" + url + L" " + TestKit::Quote(L"-instdir=" + folder_) + L" -uninstaller=";
    }
    static std::string Utf8(const std::wstring& s) { return Utils::UnicodeToUtf8(s); }
    // A path as a script line carries it (the fixture reads backslash escapes).
    static std::string ScriptPath(const std::wstring& s)
    {
        std::string out;
        for (char c : Utf8(s)) {
            out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        return out;
    }

    TestKit::Servers servers_;
    TestKit::TempDir dir_;
    TestKit::Package package_;
    std::wstring folder_;
    // Held for the whole case; the checks before a start look for the
    // product's program across the prefix.
    TestKit::NamedTurn productTurn_{TestKit::kProductNameTurn};
    TestKit::NamedTurn recordTurn_{TestKit::kRecordKeyTurn};
};

TEST_F(Headless, SuccessfulInstallationPrintsEveryEventAndWritesTheRecords)
{
    const std::wstring uninstaller = folder_ + L"\\uninst.ep";
    // The package writes in the ANSI code page, as it does until it says otherwise.
    PackageScript("encoding acp\nline Progress=0.5\nline InstPath=" + ScriptPath(folder_) +
                  "\nline UninstEp=" + ScriptPath(uninstaller) + "\nline Message=Grüße\nline State=Success\n");
    ASSERT_TRUE(TestKit::WriteBytes(uninstaller, "uninstaller"));
    const TestKit::ProcessResult r = Run(Args(Url(package_)));
    ASSERT_TRUE(r.started && !r.timedOut);
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    const std::vector<Line> lines = EventLines(r.output);
    EXPECT_EQ(CodesWithoutProgress(lines), (std::vector<int>{1001, 1003, 2001, 3000, 3003, 3009, 2003})) << r.output;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().value, "1");
    for (const Line& l : lines) {
        if (l.code == 3009) {
            EXPECT_EQ(l.text, "Grüße");
        }
        if (l.code == 1003) {
            EXPECT_EQ(l.text, "LibCurl");
        }
    }
    std::wstring recordedPath, recordedUninstaller;
    EXPECT_TRUE(Install::ReadRecordValue(Install::kInstallPathValue, recordedPath));
    EXPECT_EQ(recordedPath, folder_);
    EXPECT_TRUE(Install::ReadRecordValue(Install::kUninstallerValue, recordedUninstaller));
    EXPECT_EQ(recordedUninstaller, uninstaller);
    EXPECT_TRUE(Utils::FileExists(Install::SetIniPath(folder_)));
    EXPECT_FALSE(Utils::PathExists(folder_ + L"\\__Package_Tarvelmoss Pelnix.exe"));
}

TEST_F(Headless, FailedDownloadExitsOne)
{
    const TestKit::ProcessResult r = Run(Args(Url("/" + package_.md5 + "/absent.exe")));
    EXPECT_EQ(r.exitCode, 1u) << r.output;
    EXPECT_EQ(CodesWithoutProgress(EventLines(r.output)), (std::vector<int>{1001, 1004}));
    std::wstring recordedPath;
    EXPECT_FALSE(Install::ReadRecordValue(Install::kInstallPathValue, recordedPath)) << "nothing recorded";
}

TEST_F(Headless, FailedPackageExitsOneWithItsText)
{
    PackageScript("line Error=disk full\n");
    const TestKit::ProcessResult r = Run(Args(Url(package_)));
    EXPECT_EQ(r.exitCode, 1u) << r.output;
    const std::vector<Line> lines = EventLines(r.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().code, 2004);
    EXPECT_EQ(lines.back().value, "1000");
    EXPECT_EQ(lines.back().text, "disk full");
    // 2001 has written set.ini; no success, so no registry record.
    EXPECT_TRUE(Utils::FileExists(Install::SetIniPath(folder_)));
    std::wstring recordedPath;
    EXPECT_FALSE(Install::ReadRecordValue(Install::kInstallPathValue, recordedPath));
}

TEST_F(Headless, ChecksumMismatchIsRetriedOnceThenFails)
{
    const TestKit::Package wrong = TestKit::MakePackageUnder(servers_, 1200000, 3, "0123456789abcdef0123456789abcdef");
    const TestKit::ProcessResult r = Run(Args(Url(wrong)));
    EXPECT_EQ(r.exitCode, 1u) << r.output;
    EXPECT_EQ(CodesWithoutProgress(EventLines(r.output)), (std::vector<int>{1001, 1006, 1005, 1001, 1006, 1004}))
        << r.output;
}

TEST_F(Headless, BadArgumentsExitTwoSayingWhich)
{
    struct Case {
        const wchar_t* args;
        const char* says;
    } cases[] = {
        {L"-dsc=maybe", "-dsc"},
        {L"-bogus=1", "-bogus=1"},
        {L"stray", "stray"},
        {L"-instdir=", "-instdir"},
    };
    for (const Case& c : cases) {
        const TestKit::ProcessResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 2u) << Utf8(c.args);
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
        EXPECT_TRUE(EventLines(r.output).empty()) << "nothing started";
    }
}

// The removal runs from the installer's temporary folder, shared across the
// prefix: these cases also take the turn of the uninstaller copy (LOCK).
class HeadlessWithEarlierVersion : public Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        oldDir_ = dir_ / L"Old Pelnix";
        Utils::CreateDirectoryPath(oldDir_);
        oldUninstaller_ = oldDir_ + L"\\uninst.ep";
        ASSERT_TRUE(TestKit::CopyTo(TestKit::BinFile(L"scriptchild.exe"), oldUninstaller_));
        copyScript_ = Utils::GetInstallerTempDir() + L"Tarvelmoss Pelnix_un_asa.script";
    }
    std::wstring oldDir_;
    std::wstring oldUninstaller_;
    std::wstring copyScript_;
};

TEST_F(HeadlessWithEarlierVersion, RecordedVersionIsRemovedFirstAndTheRecordMoves)
{
    ASSERT_TRUE(Install::WriteRecordValue(Install::kInstallPathValue, oldDir_));
    ASSERT_TRUE(Install::WriteRecordValue(Install::kUninstallerValue, oldUninstaller_));
    ASSERT_TRUE(TestKit::WriteBytes(copyScript_, "line Progress=0.5\nline State=Success\n"));
    PackageScript("line InstPath=" + ScriptPath(folder_) + "\nline State=Success\n");
    const TestKit::ProcessResult r = Run(L"-downloadurl=" + Url(package_) + L" " + TestKit::Quote(L"-instdir=" + folder_));
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    EXPECT_EQ(CodesWithoutProgress(EventLines(r.output)), (std::vector<int>{5003, 1001, 1003, 2001, 3000, 2003}))
        << r.output;
    std::wstring recordedPath;
    EXPECT_TRUE(Install::ReadRecordValue(Install::kInstallPathValue, recordedPath));
    EXPECT_EQ(recordedPath, folder_);
}

TEST_F(HeadlessWithEarlierVersion, FailedRemovalExitsOne)
{
    ASSERT_TRUE(TestKit::WriteBytes(copyScript_, "line Error=Pelnix is running\n"));
    const TestKit::ProcessResult r =
        Run(Args(Url(package_)) + TestKit::Quote(oldUninstaller_));
    EXPECT_EQ(r.exitCode, 1u) << r.output;
    const std::vector<Line> lines = EventLines(r.output);
    EXPECT_EQ(CodesWithoutProgress(lines), (std::vector<int>{5005})) << r.output;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "Pelnix is running");
}

} // namespace
