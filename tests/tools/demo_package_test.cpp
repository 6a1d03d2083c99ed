// The demo setup package and its uninstaller, run as the online installer runs
// them: hidden, with the installer's command line, status read from a pipe.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "files.h"
#include "named_turn.h"
#include "process.h"
#include "temp_dir.h"
#include "text.h"

namespace {

constexpr DWORD kRunLimitMs = 120000;

std::wstring Setup() { return TestKit::BinFile(L"TarvelmossPelnixDemoSetup.exe"); }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The package's command line as the installer builds it; /D= comes last, unquoted.
std::wstring InstallCommandLine(const std::wstring& dir)
{
    return TestKit::Quote(Setup()) +
           L" /S -console=show -version=1.0.0 -adminact=false -authorizationact=true -dsc=true -ssc=false"
           L" -inslang=\"de_DE\" -instdir=\"" + dir + L"\" /D=" + dir;
}

std::wstring IniValue(const std::wstring& ini, const wchar_t* key)
{
    wchar_t value[256] = {};
    ::GetPrivateProfileStringW(L"Install", key, L"<none>", value, 256, ini.c_str());
    return value;
}

// The value of the first "key=" line, "<none>" when absent.
std::string Value(const std::vector<std::string>& lines, const std::string& key)
{
    for (const auto& line : lines) {
        if (line.rfind(key + "=", 0) == 0) {
            return line.substr(key.size() + 1);
        }
    }
    return "<none>";
}

// Waits a bounded time for a file to go, should an uninstaller not wait for its work.
bool GoneWithin(const std::wstring& path, DWORD ms)
{
    for (DWORD waited = 0; Exists(path); waited += 100) {
        if (waited >= ms) {
            return false;
        }
        ::Sleep(100);
    }
    return true;
}

std::vector<std::string> Keys(const std::vector<std::string>& lines)
{
    std::vector<std::string> keys;
    for (const auto& line : lines) {
        keys.push_back(line.substr(0, line.find('=')));
    }
    return keys;
}

class DemoPackage : public testing::Test {
protected:
    // Installs into `dir`, checks everything the installer relies on, then
    // removes it again through a renamed copy of the uninstaller.
    void InstallAndRemove(const std::wstring& dir)
    {
        const auto install = TestKit::RunProcess(InstallCommandLine(dir), kRunLimitMs);
        ASSERT_TRUE(install.started);
        ASSERT_FALSE(install.timedOut);
        EXPECT_EQ(0u, install.exitCode) << install.output;
        const auto lines = TestKit::Lines(install.output);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ("Encode=UTF8", lines.front());
        EXPECT_EQ("State=Success", lines.back());
        EXPECT_EQ(std::string::npos, install.output.find('\0'));
        EXPECT_EQ(std::string::npos, install.output.find("Error="));

        const std::vector<std::string> expectedKeys{"Encode",   "Progress", "Progress",       "Progress",
                                                    "Progress", "Progress", "InstallVersion", "InstPath",
                                                    "ExePath",  "UninstEp", "StartupStyle",   "State"};
        EXPECT_EQ(expectedKeys, Keys(lines)) << install.output;
        std::vector<double> progress;
        for (const auto& line : lines) {
            if (line.rfind("Progress=", 0) == 0) {
                progress.push_back(std::stod(line.substr(9)));
            }
        }
        ASSERT_FALSE(progress.empty());
        for (size_t i = 1; i < progress.size(); ++i) {
            EXPECT_LT(progress[i - 1], progress[i]);
        }
        EXPECT_DOUBLE_EQ(1.0, progress.back());

        EXPECT_EQ("1.0.0", Value(lines, "InstallVersion"));
        EXPECT_EQ(dir, Utils::Utf8ToUnicode(Value(lines, "InstPath")));
        EXPECT_EQ(dir + L"\\RadidaZezuzadi.exe", Utils::Utf8ToUnicode(Value(lines, "ExePath")));
        EXPECT_EQ(dir + L"\\uninst.ep", Utils::Utf8ToUnicode(Value(lines, "UninstEp")));
        EXPECT_EQ("NonStartup", Value(lines, "StartupStyle"));

        EXPECT_EQ(TestKit::ReadBytes(TestKit::BinFile(L"RadidaZezuzadi.exe")),
                  TestKit::ReadBytes(dir + L"\\RadidaZezuzadi.exe"));
        // The product's data keeps the package past the downloaders' 1 MiB floor.
        EXPECT_EQ(TestKit::ReadBytes(dir + L"\\pelnix-data.bin").size(), 1572864u);
        const std::wstring ini = dir + L"\\config.ini";
        ASSERT_TRUE(Exists(ini));
        EXPECT_EQ(L"de_DE", IniValue(ini, L"Language"));
        EXPECT_EQ(L"true", IniValue(ini, L"DesktopShortcut"));
        EXPECT_EQ(L"false", IniValue(ini, L"QuickLaunch"));
        EXPECT_EQ(L"1.0.0", IniValue(ini, L"Version"));
        ASSERT_TRUE(Exists(dir + L"\\uninst.ep"));

        // As the installer removes an earlier version: a renamed copy in a temp folder, run in place.
        TestKit::TempDir copyDir;
        const std::wstring copy = copyDir / L"Tarvelmoss Pelnix_un_asa.exe";
        ASSERT_TRUE(TestKit::CopyTo(dir + L"\\uninst.ep", copy));
        const auto remove = TestKit::RunProcess(
            TestKit::Quote(copy) + L" /S -adminact=false -authorizationact=true -console=show _?=" + dir, kRunLimitMs);
        ASSERT_TRUE(remove.started);
        ASSERT_FALSE(remove.timedOut);
        EXPECT_EQ(0u, remove.exitCode) << remove.output;
        const auto removeLines = TestKit::Lines(remove.output);
        ASSERT_FALSE(removeLines.empty());
        EXPECT_EQ("Encode=UTF8", removeLines.front());
        EXPECT_EQ("State=Success", removeLines.back());
        EXPECT_TRUE(GoneWithin(dir + L"\\RadidaZezuzadi.exe", 10000));
        EXPECT_TRUE(GoneWithin(dir + L"\\pelnix-data.bin", 10000));
        EXPECT_TRUE(GoneWithin(ini, 10000));
        EXPECT_TRUE(GoneWithin(dir + L"\\uninst.ep", 10000));
        EXPECT_TRUE(GoneWithin(dir, 10000)) << "the emptied folder stays";
    }

    TestKit::TempDir temp_;
};

} // namespace

TEST_F(DemoPackage, InstallsAndRemovesInAFolderWithABlank)
{
    InstallAndRemove(temp_ / L"Tarvelmoss Pelnix");
}

TEST_F(DemoPackage, InstallsAndRemovesInAFolderWithChineseCharacters)
{
    InstallAndRemove(temp_ / L"\u5854\u7EF4\u6469\u65AF \u5B89\u88C5");
}

TEST_F(DemoPackage, UninstallerKeepsAFolderThatHoldsOtherFiles)
{
    const std::wstring dir = temp_ / L"Tarvelmoss Pelnix";
    const auto install = TestKit::RunProcess(InstallCommandLine(dir), kRunLimitMs);
    ASSERT_EQ(0u, install.exitCode) << install.output;
    ASSERT_TRUE(TestKit::WriteBytes(dir + L"\\set.ini", "[Settings]\r\n"));
    ASSERT_TRUE(TestKit::WriteBytes(dir + L"\\user.dat", "kept"));
    TestKit::TempDir copyDir;
    const std::wstring copy = copyDir / L"Tarvelmoss Pelnix_un_asa.exe";
    ASSERT_TRUE(TestKit::CopyTo(dir + L"\\uninst.ep", copy));
    const auto remove = TestKit::RunProcess(TestKit::Quote(copy) + L" /S _?=" + dir, kRunLimitMs);
    EXPECT_EQ(0u, remove.exitCode) << remove.output;
    EXPECT_EQ("State=Success", TestKit::Lines(remove.output).back());
    EXPECT_TRUE(GoneWithin(dir + L"\\set.ini", 10000));
    EXPECT_TRUE(GoneWithin(dir + L"\\RadidaZezuzadi.exe", 10000));
    EXPECT_EQ("kept", TestKit::ReadBytes(dir + L"\\user.dat"));
}

TEST_F(DemoPackage, ReportsAnErrorWhenTheProgramCannotBeWritten)
{
    const std::wstring dir = temp_ / L"Tarvelmoss Pelnix";
    ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
    // A folder in the program's place makes its file unwritable.
    ASSERT_TRUE(::CreateDirectoryW((dir + L"\\RadidaZezuzadi.exe").c_str(), nullptr));
    const auto install = TestKit::RunProcess(InstallCommandLine(dir), kRunLimitMs);
    ASSERT_TRUE(install.started);
    ASSERT_FALSE(install.timedOut);
    EXPECT_NE(0u, install.exitCode);
    const auto lines = TestKit::Lines(install.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("Encode=UTF8", lines.front());
    EXPECT_EQ(0u, lines.back().rfind("Error=", 0)) << install.output;
    EXPECT_EQ(std::string::npos, install.output.find("State=Success"));
}

TEST_F(DemoPackage, InstallsWithoutAStandardOutput)
{
    const std::wstring dir = temp_ / L"Tarvelmoss Pelnix";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES; // all three handles null
    PROCESS_INFORMATION info{};
    std::wstring line = InstallCommandLine(dir);
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    Utils::UniqueHandle process(info.hProcess);
    Utils::UniqueHandle thread(info.hThread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Get(), kRunLimitMs));
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.Get(), &exitCode);
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(Exists(dir + L"\\RadidaZezuzadi.exe"));
    EXPECT_TRUE(Exists(dir + L"\\uninst.ep"));
}

TEST(DemoProduct, ClosesAfterTheGivenTime)
{
    // Wine creates no window without a display (e.g. run the suite under xvfb-run).
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe) {
        GTEST_SKIP() << "no window can be created here";
    }
    ::DestroyWindow(probe);
    // Other cases look for the product's program by name: take the product's turn.
    const TestKit::NamedTurn turn(TestKit::kProductNameTurn);
    ASSERT_TRUE(turn.Held());
    const DWORD start = ::GetTickCount();
    const auto run = TestKit::RunProcess(TestKit::Quote(TestKit::BinFile(L"RadidaZezuzadi.exe")) + L" --close-after=300",
                                         30000);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_GE(::GetTickCount() - start, 250u);
}
