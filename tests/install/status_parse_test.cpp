// The two dialects of the status lines, one decoded chunk at a time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer.h"
#include "installer_config.h"
#include "seen_event.h"
#include "uninstaller.h"

namespace {

using TestKit::Seen;

struct ParseCase {
    const char* name;
    std::wstring chunk;
    std::vector<Seen> events;
    int result;
};

std::vector<Seen>* g_sink = nullptr;

EventCallback Sink()
{
    return [](int32_t code, double value, const std::wstring& text) { g_sink->push_back({code, value, text}); };
}

class InstallDialect : public testing::TestWithParam<ParseCase> {};

TEST_P(InstallDialect, EmitsTheEventsOfTheChunk)
{
    std::vector<Seen> seen;
    g_sink = &seen;
    CInstaller installer(Sink(), L"\"C:\\p.exe\"", L"C:\\dir", false, false, false);
    EXPECT_EQ(installer.Parse(GetParam().chunk), GetParam().result);
    EXPECT_EQ(seen, GetParam().events);
}

const std::wstring k771(771, L'v');
const std::wstring k772(772, L'v');

INSTANTIATE_TEST_SUITE_P(
    Lines, InstallDialect,
    testing::Values(
        ParseCase{"Empty", L"", {}, 0},
        ParseCase{"Progress", L"Progress=0.25\n", {{2002, 0.25, L""}}, 0},
        ParseCase{"ProgressWithoutNumber", L"Progress=\n", {{2002, 0, L""}}, 0},
        ParseCase{"ProgressWithBlanksAndTail", L"Progress=  0.5%\n", {{2002, 0.5, L""}}, 0},
        ParseCase{"InstPathKeepsCarriageReturn", L"InstPath=C:\\A B\r\n", {{3000, 0, L"C:\\A B\r"}}, 0},
        ParseCase{"ExePathAndStartExe", L"ExePath=C:\\a.exe\nStartExe=C:\\b.exe\n",
                  {{3001, 0, L"C:\\a.exe"}, {3001, 0, L"C:\\b.exe"}}, 0},
        ParseCase{"UninstallerKeys", L"UninstExePath=C:\\u1.exe\nUninstExe=C:\\u2.exe\nUninstEp=C:\\uninst.ep\n",
                  {{3002, 0, L"C:\\u1.exe"}, {3002, 0, L"C:\\u2.exe"}, {3003, 0, L"C:\\uninst.ep"}}, 0},
        ParseCase{"StartUrlAndMessage", L"StartUrl=http://x/y\nMessage=你好\n",
                  {{3004, 0, L"http://x/y"}, {3009, 0, L"你好"}}, 0},
        ParseCase{"StartupStyles", L"StartupStyle= AutoStartup \nStartupStyle=UserStartup\r\nStartupStyle=NonStartup\n"
                                   L"StartupStyle=autostartup\n",
                  {{3005, 1, L""}, {3005, 2, L""}, {3005, 0, L""}, {3005, 0, L""}}, 0},
        ParseCase{"DetentionsAsUnsigned", L"TopShowDetention=-1\nFinsihCloseDetention=3000\nTopShowDetention=x\n",
                  {{3007, 4294967295.0, L""}, {3008, 3000, L""}, {3007, 0, L""}}, 0},
        ParseCase{"StateSuccess", L"State=Success\n", {{2003, 0, L""}}, 1},
        ParseCase{"StateSuccessWithCarriageReturn", L"State=Success\r\n", {{2003, 0, L""}}, 1},
        ParseCase{"StateFail", L"State=Fail\n", {{2004, 0, L"安装包安装失败"}}, 1000},
        ParseCase{"StateLowerCaseIgnored", L"State=success\n", {}, 0},
        ParseCase{"StateOtherIgnored", L"State=Running\n", {}, 0},
        ParseCase{"BlankBeforeKeyIgnored", L" State=Success\n\tProgress=1\n", {}, 0},
        ParseCase{"UnknownKeysIgnored", L"Hello\nprogress=1\n=x\n", {}, 0},
        ParseCase{"ErrorThenSuccessInOneChunk", L"Error=disk full\nState=Success\n",
                  {{2004, 1000, L"disk full"}, {2003, 0, L""}}, 1},
        ParseCase{"SuccessThenFailLastWins", L"State=Success\nState=Fail\nProgress=1\n",
                  {{2003, 0, L""}, {2004, 0, L"安装包安装失败"}, {2002, 1, L""}}, 1000},
        ParseCase{"ErrorWithoutText", L"Error=\n", {{2004, 1000, L""}}, 1000},
        ParseCase{"ValueOf771Kept", L"InstPath=" + k771 + L"\n", {{3000, 0, k771}}, 0},
        ParseCase{"ValueOf772Empty", L"InstPath=" + k772 + L"\n", {{3000, 0, L""}}, 0},
        ParseCase{"ErrorOf772EmptyText", L"Error=" + k772, {{2004, 1000, L""}}, 1000},
        ParseCase{"LastLineWithoutLineFeed", L"Progress=0.1\nProgress=0.2", {{2002, 0.1, L""}, {2002, 0.2, L""}}, 0},
        ParseCase{"CutLineIsParsedAlone", L"InstPath=C:\\Pro", {{3000, 0, L"C:\\Pro"}}, 0},
        ParseCase{"RestOfCutLineIgnored", L"gram Files\\X\nState=Succ", {}, 0}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(InstallDialectState, InstallVersionFillsTheNumbersItHas)
{
    std::vector<Seen> seen;
    g_sink = &seen;
    CInstaller installer(Sink(), L"\"C:\\p.exe\"", L"", false, false, false);
    EXPECT_EQ(installer.Parse(L"InstallVersion=3.14.159\n"), 0);
    EXPECT_EQ(installer.VersionMajor(), 3);
    EXPECT_EQ(installer.VersionMinor(), 14);
    EXPECT_EQ(installer.VersionBuild(), 159);
    installer.Parse(L"InstallVersion=4.x\n");
    EXPECT_EQ(installer.VersionMajor(), 4);
    EXPECT_EQ(installer.VersionMinor(), 14);
    EXPECT_EQ(installer.VersionBuild(), 159);
    EXPECT_TRUE(seen.empty());
}

TEST(InstallDialectState, EncodeSwitchesTheCodePage)
{
    struct Case {
        const wchar_t* line;
        int codePage;
    } cases[] = {
        {L"Encode=UTF8\n", 65001}, {L"Encode=936\r\n", 936}, {L"Encode= ACP \n", 0},
        {L"Encode=UTF8\n", 65001}, {L"Encode=gbk\n", 0},     {L"Encode=1251\nEncode=utf8\n", 0},
    };
    std::vector<Seen> seen;
    g_sink = &seen;
    CInstaller installer(Sink(), L"\"C:\\p.exe\"", L"", false, false, false);
    EXPECT_EQ(installer.CodePage(), 0);
    for (const auto& c : cases) {
        EXPECT_EQ(installer.Parse(c.line), 0);
        EXPECT_EQ(installer.CodePage(), c.codePage) << c.line[7];
    }
    EXPECT_TRUE(seen.empty());
}

class UninstallDialect : public testing::TestWithParam<ParseCase> {};

TEST_P(UninstallDialect, EmitsTheEventsOfTheChunk)
{
    std::vector<Seen> seen;
    g_sink = &seen;
    CUninstaller uninstaller(Sink(), L"C:\\u.exe", L"C:\\old");
    EXPECT_EQ(uninstaller.Parse(GetParam().chunk), GetParam().result);
    EXPECT_EQ(seen, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UninstallDialect,
    testing::Values(
        ParseCase{"Progress", L"Progress=0.5\nProgress=\n", {{5002, 0.5, L""}, {5002, 0, L""}}, 0},
        ParseCase{"Success", L"State=Success\r\n", {{5003, 0, L""}}, 1},
        ParseCase{"Fail", L"State=Fail\n", {{5005, 0, L"安装包卸载失败"}}, 1000},
        ParseCase{"Error", L"Error=in use\n", {{5005, 0, L"in use"}}, 1000},
        ParseCase{"ErrorWithoutText", L"Error=", {{5005, 0, L""}}, 1000},
        ParseCase{"FailThenSuccessLastWins", L"State=Fail\nState=Success\n",
                  {{5005, 0, L"安装包卸载失败"}, {5003, 0, L""}}, 1},
        ParseCase{"InstallKeysIgnored", L"InstPath=C:\\x\nMessage=hi\nStartupStyle=AutoStartup\n", {}, 0},
        ParseCase{"LowerCaseIgnored", L"state=Success\n", {}, 0}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(UninstallDialectState, OnlyUtf8SwitchesTheCodePage)
{
    std::vector<Seen> seen;
    g_sink = &seen;
    CUninstaller uninstaller(Sink(), L"C:\\u.exe", L"C:\\old");
    uninstaller.Parse(L"Encode= UTF8\r\n");
    EXPECT_EQ(uninstaller.CodePage(), 65001);
    uninstaller.Parse(L"Encode=936\n");
    EXPECT_EQ(uninstaller.CodePage(), 0);
    uninstaller.Parse(L"Encode=UTF8\n");
    uninstaller.Parse(L"Encode=ACP\n");
    EXPECT_EQ(uninstaller.CodePage(), 0);
}

// The command line carries the user's choices in a fixed order, "/D=" last.
struct CommandCase {
    const char* name;
    std::wstring installDir;
    std::wstring language;
    std::wstring instCmd;
    bool admin, elevated, desktop, quick;
    std::wstring expected;
};

class PackageCommandLine : public testing::TestWithParam<CommandCase> {};

TEST_P(PackageCommandLine, IsBuiltInOrder)
{
    const CommandCase& c = GetParam();
    const std::wstring savedCmd = InstallerConfig.InstCmd;
    InstallerConfig.InstCmd = c.instCmd;
    CInstaller installer([](int32_t, double, const std::wstring&) {}, L"\"C:\\T P\\__Package_Tarvelmoss Pelnix.exe\"",
                         L"ignored", true, true, true);
    installer.SetInstallDir(c.installDir);
    installer.SetInstallLanguage(c.language);
    installer.SetAdminAccount(c.admin);
    installer.SetElevated(c.elevated);
    installer.SetDesktopShortcut(c.desktop);
    installer.SetQuickLaunch(c.quick);
    EXPECT_EQ(installer.BuildCommandLine(), c.expected);
    InstallerConfig.InstCmd = savedCmd;
}

INSTANTIATE_TEST_SUITE_P(
    Options, PackageCommandLine,
    testing::Values(
        CommandCase{"Everything", L"D:\\My Apps\\Pelnix", L"zh_CN", L"-channel=7 -x", true, false, true, false,
                    L"\"C:\\T P\\__Package_Tarvelmoss Pelnix.exe\" /S -console=show -version=1.0.0 -adminact=true "
                    L"-authorizationact=false -dsc=true -ssc=false -inslang=\"zh_CN\" -channel=7 -x "
                    L"-instdir=\"D:\\My Apps\\Pelnix\" /D=D:\\My Apps\\Pelnix"},
        CommandCase{"NothingOptional", L"", L"", L"", false, true, false, true,
                    L"\"C:\\T P\\__Package_Tarvelmoss Pelnix.exe\" /S -console=show -version=1.0.0 -adminact=false "
                    L"-authorizationact=true -dsc=false -ssc=true"},
        CommandCase{"FolderOnly", L"C:\\P", L"", L"", false, false, false, false,
                    L"\"C:\\T P\\__Package_Tarvelmoss Pelnix.exe\" /S -console=show -version=1.0.0 -adminact=false "
                    L"-authorizationact=false -dsc=false -ssc=false -instdir=\"C:\\P\" /D=C:\\P"}),
    [](const testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

} // namespace
