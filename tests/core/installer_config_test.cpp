#include <gtest/gtest.h>

#include <map>
#include <string>

#include "files.h"
#include "harness.h"
#include "installer_config.h"
#include "process.h"
#include "temp_dir.h"
#include "text.h"

namespace {

const std::wstring kDefaultUrl = CInstallerConfig::DefaultDownloadUrl();

struct Expected {
    std::wstring url = kDefaultUrl;
    int type = 1;
    bool checkNet = false;
    double scale = 0.7;
    std::wstring instCmd;
    int language = -1;
    bool insNew = false;
};

// e.url is the address as configured; the record holds it routed for the
// case's Windows (kept, or the default on 64-bit Windows when it has no
// placeholder), so the addresses below carry "${ROUTE}" to survive on both.
void ExpectFields(const Expected& e, const CInstallerConfig& c, const std::string& what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(TestKit::RoutedOnHarness(e.url), c.DownloadUrl);
    EXPECT_EQ(e.type, c.DownloadType);
    EXPECT_EQ(e.checkNet, c.IsCheckNet);
    EXPECT_DOUBLE_EQ(e.scale, c.DownloadScale);
    EXPECT_EQ(e.instCmd, c.InstCmd);
    EXPECT_EQ(e.language, c.Language);
    EXPECT_EQ(e.insNew, c.InsNew);
}

Expected FileDefaults()
{
    Expected e;
    e.checkNet = true; // a settings file without the key turns the check on
    return e;
}

} // namespace

TEST(InstallerConfig, WithoutSettingsFileHasTheBuiltInDefaults)
{
    TestKit::TempDir dir;
    ExpectFields(Expected{}, CInstallerConfig(L""), "no file named");
    ExpectFields(Expected{}, CInstallerConfig(dir / L"ZorvaInstallerConfig.ini"), "file missing");
    EXPECT_EQ(0u, kDefaultUrl.rfind(L"http://", 0));
    EXPECT_EQ(L"/software/675", kDefaultUrl.substr(kDefaultUrl.size() - 13));
}

TEST(InstallerConfig, SettingsFileCases)
{
    const std::string longUrl = "http://127.0.0.1/${ROUTE}/" + std::string(300, 'a');
    struct Case {
        const char* name;
        std::string ini;
        Expected expected;
    };
    std::vector<Case> cases;
    cases.push_back({"empty file", "", FileDefaults()});
    cases.push_back({"other section only", "[Other]\r\nDownloadType=3\r\nIsCheckNet=false\r\n", FileDefaults()});
    cases.push_back({"empty section", "[Install]\r\n", FileDefaults()});
    {
        Expected e = FileDefaults();
        e.url = L"http://127.0.0.1/${ROUTE}/pkg/setup.exe";
        e.type = 3;
        e.checkNet = false;
        e.scale = 0.25;
        e.instCmd = L"/quiet -x=1";
        cases.push_back({"every key", "[Install]\r\nDownloadUrl=http://127.0.0.1/${ROUTE}/pkg/setup.exe\r\nDownloadType=3\r\n"
                                      "IsCheckNet=false\r\nDownloadScale=0.25\r\nInstCmd=/quiet -x=1\r\n",
                         e});
    }
    {
        Expected e = FileDefaults();
        e.checkNet = false;
        cases.push_back({"TRUE in capitals is not true", "[Install]\r\nIsCheckNet=TRUE\r\n", e});
    }
    cases.push_back({"true", "[Install]\r\nIsCheckNet=true\r\n", FileDefaults()});
    {
        Expected e = FileDefaults();
        e.scale = 0.0;
        cases.push_back({"scale without a number", "[Install]\r\nDownloadScale=abc\r\n", e});
        e.scale = 0.5;
        cases.push_back({"scale with trailing junk", "[Install]\r\nDownloadScale=0.5x\r\n", e});
    }
    {
        Expected e = FileDefaults();
        e.type = 0;
        cases.push_back({"type without digits", "[Install]\r\nDownloadType=abc\r\n", e});
        e.type = -4;
        cases.push_back({"negative type", "[Install]\r\nDownloadType=-4\r\n", e});
    }
    {
        Expected e = FileDefaults();
        e.url = Utils::Utf8ToUnicode(longUrl.substr(0, 259));
        cases.push_back({"value cut to 259 characters", "[Install]\r\nDownloadUrl=" + longUrl + "\r\n", e});
    }
    {
        Expected e = FileDefaults();
        e.url = L"";
        cases.push_back({"empty address", "[Install]\r\nDownloadUrl=\r\n", e});
    }

    for (const auto& c : cases) {
        TestKit::TempDir dir;
        const std::wstring ini = dir / L"ZorvaInstallerConfig.ini";
        ASSERT_TRUE(TestKit::WriteBytes(ini, c.ini));
        ExpectFields(c.expected, CInstallerConfig(ini), c.name);
    }
}

TEST(InstallerConfig, UnicodeSettingsFile)
{
    TestKit::TempDir dir;
    const std::wstring ini = dir / L"ZorvaInstallerConfig.ini";
    const std::wstring text = L"\xFEFF[Install]\r\nInstCmd=/lang=\x0440\x0443\x0441 \x4E2D\x6587\r\n";
    ASSERT_TRUE(TestKit::WriteBytes(ini, std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2)));
    EXPECT_EQ(L"/lang=\x0440\x0443\x0441 \x4E2D\x6587", CInstallerConfig(ini).InstCmd);
}

TEST(InstallerConfig, UnreadableSettingsFileIsNoCrash)
{
    TestKit::TempDir dir;
    const std::wstring ini = dir / L"ZorvaInstallerConfig.ini";
    ASSERT_TRUE(::CreateDirectoryW(ini.c_str(), nullptr)); // a folder where the file should be
    const CInstallerConfig config(ini);
    EXPECT_EQ(kDefaultUrl, config.DownloadUrl);
    EXPECT_EQ(1, config.DownloadType);
}

TEST(InstallerConfig, SwitchCases)
{
    struct Case {
        const wchar_t* commandLine;
        Expected expected;
    };
    auto with = [](auto change) {
        Expected e;
        change(e);
        return e;
    };
    const Case cases[] = {
        {L"setup.exe", Expected{}},
        {L"setup.exe -insnew=true", with([](Expected& e) { e.insNew = true; })},
        {L"setup.exe -insnew", Expected{}},
        {L"setup.exe -insnew=1", Expected{}},
        {L"setup.exe -insnew=TRUE", Expected{}},
        {L"setup.exe -ischecknet=true", with([](Expected& e) { e.checkNet = true; })},
        {L"setup.exe -downloadurl=http://a/${ROUTE}/1 -downloadurl=http://b/${ROUTE}/2",
         with([](Expected& e) { e.url = L"http://a/${ROUTE}/1"; })},
        {L"setup.exe -DownloadUrl=http://a/1", Expected{}},
        {L"setup.exe -downloadurl=", with([](Expected& e) { e.url = L""; })},
        {L"setup.exe -downloadtype", with([](Expected& e) { e.type = 0; })},
        {L"setup.exe -downloadtype=3", with([](Expected& e) { e.type = 3; })},
        {L"setup.exe -downloadtype=2abc", with([](Expected& e) { e.type = 2; })},
        {L"setup.exe -downloadtype=abc", with([](Expected& e) { e.type = 0; })},
        {L"setup.exe -downloadtype=99999999999", with([](Expected& e) { e.type = 2147483647; })},
        {L"setup.exe -downloadscale=0.25", with([](Expected& e) { e.scale = 0.25; })},
        {L"setup.exe -downloadscale=x", with([](Expected& e) { e.scale = 0.0; })},
        {L"setup.exe \"-instcmd=/S /opt=a=b\"", with([](Expected& e) { e.instCmd = L"/S /opt=a=b"; })},
        {L"setup.exe -instcmd=", Expected{}},
        {L"setup.exe -language=5", with([](Expected& e) { e.language = 5; })},
        {L"setup.exe -language= -3", with([](Expected& e) { e.language = 0; })},
        {L"setup.exe -language=-3", with([](Expected& e) { e.language = -3; })},
        {L"setup.exe insnew=true -unknown=1 --insnew=true", Expected{}},
        // The program path counts like any other argument.
        {L"-insnew=true", with([](Expected& e) { e.insNew = true; })},
    };
    for (const auto& c : cases) {
        CInstallerConfig config(L"");
        config.ParseCommandLine(c.commandLine);
        ExpectFields(c.expected, config, Utils::UnicodeToUtf8(c.commandLine));
    }
}

TEST(InstallerConfig, SwitchesOverrideTheSettingsFile)
{
    TestKit::TempDir dir;
    const std::wstring ini = dir / L"ZorvaInstallerConfig.ini";
    ASSERT_TRUE(TestKit::WriteBytes(ini, "[Install]\r\nDownloadType=3\r\nIsCheckNet=true\r\nInstCmd=/from-file\r\n"));
    CInstallerConfig config(ini);
    config.ParseCommandLine(L"setup.exe -downloadtype=2 -ischecknet");
    EXPECT_EQ(2, config.DownloadType);
    EXPECT_FALSE(config.IsCheckNet);
    EXPECT_EQ(L"/from-file", config.InstCmd) << "a value without a switch stays the file's";
}

TEST(InstallerConfig, RouteWordTable)
{
    struct Case {
        const wchar_t* version;
        bool windows64;
        const wchar_t* word;
    };
    const Case cases[] = {
        {L"XP-", false, L"download_silent_xp"},     {L"XP", false, L"download_silent_xp"},
        {L"XP", true, L"download_silent_xp"},       {L"XP+", false, L"download_silent_xp"},
        {L"2K", false, L"download_silent"},         {L"Server 2003", false, L"download_silent"},
        {L"Server 2003 R2", true, L"download_silent_64"}, {L"Vista", false, L"download_silent"},
        {L"7", false, L"download_silent"},          {L"10", true, L"download_silent_64"},
        {L"11.0.22000", true, L"download_silent_64"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.word, Utils::RouteWordFor(c.version, c.windows64)) << Utils::UnicodeToUtf8(c.version);
    }
}

// The real program: the record built before the entry point from the settings
// file beside the executable, then the switches of its own command line.
class ConfigDump : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(TestKit::CopyTo(TestKit::BinFile(L"configdump.exe"), dir_ / L"configdump.exe")); }

    std::map<std::string, std::string> Run(const std::wstring& args, const std::wstring& cwd = L"")
    {
        const auto result = TestKit::RunProcess(TestKit::Quote(dir_ / L"configdump.exe") + L" " + args, 60000, cwd);
        EXPECT_TRUE(result.started);
        EXPECT_EQ(0u, result.exitCode);
        std::map<std::string, std::string> fields;
        for (const auto& line : TestKit::Lines(result.output)) {
            const size_t eq = line.find('=');
            if (eq != std::string::npos) {
                fields[line.substr(0, eq)] = line.substr(eq + 1);
            }
        }
        return fields;
    }

    TestKit::TempDir dir_;
};

TEST_F(ConfigDump, NoSettingsFile)
{
    auto f = Run(L"");
    EXPECT_EQ(Utils::UnicodeToUtf8(kDefaultUrl), f["DownloadUrl"]);
    EXPECT_EQ("1", f["DownloadType"]);
    EXPECT_EQ("false", f["IsCheckNet"]);
    EXPECT_EQ("0.69999999999999996", f["DownloadScale"]);
    EXPECT_EQ("", f["InstCmd"]);
    EXPECT_EQ("-1", f["Language"]);
    EXPECT_EQ("false", f["InsNew"]);
}

TEST_F(ConfigDump, SettingsFileBesideTheProgramThenSwitches)
{
    ASSERT_TRUE(TestKit::WriteBytes(dir_ / L"ZorvaInstallerConfig.ini",
                                 "[Install]\r\nDownloadUrl=http://127.0.0.1:8080/${ROUTE}/x/setup.exe\r\nDownloadType=3\r\n"
                                 "DownloadScale=0.5x\r\nInstCmd=/file\r\n"));
    auto f = Run(L"-downloadtype=2 \"-instcmd=/S /D\" -language=4 -insnew=true");
    EXPECT_EQ(Utils::UnicodeToUtf8(TestKit::RoutedOnHarness(L"http://127.0.0.1:8080/${ROUTE}/x/setup.exe")),
              f["DownloadUrl"]);
    EXPECT_EQ("2", f["DownloadType"]);
    EXPECT_EQ("true", f["IsCheckNet"]) << "the file has no IsCheckNet key";
    EXPECT_EQ("0.5", f["DownloadScale"]);
    EXPECT_EQ("/S /D", f["InstCmd"]);
    EXPECT_EQ("4", f["Language"]);
    EXPECT_EQ("true", f["InsNew"]);
}

TEST_F(ConfigDump, SettingsFileInTheWorkingFolderIsNotRead)
{
    TestKit::TempDir cwd;
    ASSERT_TRUE(TestKit::WriteBytes(cwd / L"ZorvaInstallerConfig.ini", "[Install]\r\nDownloadType=3\r\n"));
    auto f = Run(L"", cwd.Path());
    EXPECT_EQ("1", f["DownloadType"]);
    EXPECT_EQ("false", f["IsCheckNet"]);
}
