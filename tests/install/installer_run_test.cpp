// The package runner against a real child: the scriptchild fixture under the
// package's name, following a script of status lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "debug_capture.h"
#include "destroy_in_time.h"
#include "event_recorder.h"
#include "files.h"
#include "installer.h"
#include "installer_config.h"
#include "scripted_child.h"
#include "seen_event.h"
#include "paths.h"
#include "text.h"

namespace {

using TestKit::Seen;

constexpr DWORD kRunLimitMs = 60000;

class PackageRun : public testing::Test {
protected:
    // Starts a run of the package with `script`; the package goes into a
    // folder whose name has blanks, as the product's name does.
    void Run(const std::string& script, const std::wstring& installDir = L"C:\\Target Dir")
    {
        ASSERT_TRUE(package_.Ready());
        ASSERT_TRUE(package_.SetScript(script));
        installer_ = std::make_unique<CInstaller>(recorder_.Callback(), package_.Quoted(), L"", false, false, false);
        installer_->SetInstallDir(installDir);
        installer_->Run();
    }
    // Waits for the worker to end, so no later event can be missed.
    std::vector<Seen> Finish()
    {
        EXPECT_TRUE(installer_->WaitForRun(kRunLimitMs)) << "the run did not end";
        return TestKit::SeenEvents(recorder_);
    }

    TestKit::ScriptedChild package_{L"__Package_Tarvelmoss Pelnix.exe", L"Temp Dir"};
    TestKit::EventRecorder recorder_{[](int32_t code) { return code == 2003 || code == 2004; }};
    std::unique_ptr<CInstaller> installer_;
};

const Seen kStart{2001, 0, L""};
const Seen kNoProgress{2002, 0, L""};

TEST_F(PackageRun, SilentChildSucceedsWhenItEnds)
{
    Run("exit 0\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2003, 1.0, L""}}));
}

TEST_F(PackageRun, ExitCodeOfTheChildIsNotExamined)
{
    Run("line Progress=0.5\nexit 3\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2002, 0.5, L""}, {2003, 1.0, L""}}));
}

TEST_F(PackageRun, SuccessLineEndsTheRunWithoutASecondSuccess)
{
    Run("line State=Success\nsleep 300\nline Progress=0.9\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2003, 0, L""}}));
}

TEST_F(PackageRun, FailLineEndsTheRun)
{
    Run("line State=Fail\nsleep 200\nline State=Success\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2004, 0, L"安装包安装失败"}}));
}

TEST_F(PackageRun, ErrorThenSuccessInOneChunkBothCount)
{
    Run("write Error=disk full\\nState=Success\\n\nsleep 200\nline Progress=1\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2004, 1000, L"disk full"}, {2003, 0, L""}}));
}

TEST_F(PackageRun, AWholeInstallationReportsEveryKey)
{
    Run("line Progress=0.1\n"
        "write InstPath=C:\\\\Target Dir\\r\\n\n"
        "line ExePath=C:\\\\Target Dir\\\\RadidaZezuzadi.exe\n"
        "line UninstEp=C:\\\\Target Dir\\\\uninst.ep\n"
        "line StartupStyle=UserStartup\n"
        "line TopShowDetention=-1\n"
        "line FinsihCloseDetention=5000\n"
        "line InstallVersion=2.7.31\n"
        "line Progress=1\n"
        "line State=Success\n");
    const std::vector<Seen> events = Finish();
    EXPECT_EQ(events.front(), kStart);
    EXPECT_EQ(events.back(), (Seen{2003, 0, L""}));
    // Chunks follow the writes only loosely; the order of lines is what counts.
    const std::vector<Seen> expected{kStart,
                                     kNoProgress,
                                     {2002, 0.1, L""},
                                     {3000, 0, L"C:\\Target Dir\r"},
                                     {3001, 0, L"C:\\Target Dir\\RadidaZezuzadi.exe"},
                                     {3003, 0, L"C:\\Target Dir\\uninst.ep"},
                                     {3005, 2, L""},
                                     {3007, 4294967295.0, L""},
                                     {3008, 5000, L""},
                                     {2002, 1, L""},
                                     {2003, 0, L""}};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(installer_->VersionMajor(), 2);
    EXPECT_EQ(installer_->VersionBuild(), 31);
}

TEST_F(PackageRun, ExePathIsLogged)
{
    TestKit::DebugCapture capture;
    Run("line ExePath=C:\\\\P\\\\RadidaZezuzadi.exe\nline State=Success\n");
    Finish();
    bool logged = false;
    for (const auto& s : capture.Strings()) {
        logged = logged || (s.find(L"(CInstaller::Parse)") != std::wstring::npos &&
                            s.find(L"ExePath: C:\\P\\RadidaZezuzadi.exe") != std::wstring::npos);
    }
    EXPECT_TRUE(logged);
}

TEST_F(PackageRun, LineSplitAcrossTwoWritesIsNotReassembled)
{
    // The gate holds the second half back until the first chunk was parsed.
    const TestKit::ScriptGate gate(package_.Dir());
    Run("write Progress=0.1\\nState=Succ\n" + gate.Lines() + "write ess\\n\nsleep 200\n");
    ASSERT_TRUE(recorder_.WaitForCount(3, 10000));
    EXPECT_TRUE(gate.Open());
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2002, 0.1, L""}, {2003, 1.0, L""}}));
}

TEST_F(PackageRun, EncodeSwitchesDecodingFromTheNextChunk)
{
    // 936 bytes of "中文" are not UTF-8; after the switch they decode. Gates
    // keep the chunks apart: each opens once the chunk before was parsed.
    const TestKit::ScriptGate first(package_.Dir(), L"first");
    const TestKit::ScriptGate second(package_.Dir(), L"second");
    Run("write Encode=936\\nProgress=0.1\\n\n" + first.Lines() +
        "encoding 936\nwrite Message=中文\\n\nencoding utf8\nwrite Encode=UTF8\\n\n" + second.Lines() +
        "line Message=日本\nline State=Success\n");
    ASSERT_TRUE(recorder_.WaitForCount(3, 10000));
    EXPECT_TRUE(first.Open());
    ASSERT_TRUE(recorder_.WaitForCount(4, 10000));
    EXPECT_TRUE(second.Open());
    const std::vector<Seen> events = Finish();
    EXPECT_EQ(events, (std::vector<Seen>{kStart, kNoProgress, {2002, 0.1, L""}, {3009, 0, L"中文"},
                                         {3009, 0, L"日本"}, {2003, 0, L""}}));
    EXPECT_EQ(installer_->CodePage(), 65001);
}

TEST_F(PackageRun, DefaultDecodingIsTheAnsiCodePage)
{
    // A letter the running ANSI code page has, written in that code page.
    const UINT acp = ::GetACP();
    const std::wstring letter = acp == 1251 ? L"Ж" : acp == 936 ? L"中" : L"é";
    Run("encoding acp\nline Message=" + Utils::UnicodeToUtf8(letter) + "\nline State=Success\n");
    const std::vector<Seen> events = Finish();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[2], (Seen{3009, 0, letter})) << "ANSI code page " << acp;
    const char* lang = std::getenv("LANG");
    if (lang && std::string(lang).rfind("ru_RU", 0) == 0) {
        EXPECT_EQ(acp, 1251u);
    } else if (lang && std::string(lang).rfind("zh_CN", 0) == 0) {
        EXPECT_EQ(acp, 936u);
    }
}

TEST_F(PackageRun, InvalidBytesArriveAsReplacementCharacters)
{
    // The conversion uses flags 0: invalid UTF-8 is replaced, not refused.
    const TestKit::ScriptGate gate(package_.Dir());
    Run("write Encode=UTF8\\nProgress=0.1\\n\n" + gate.Lines() + "write Message=\\xff\\xfe\\n\nsleep 300\nline State=Success\n");
    ASSERT_TRUE(recorder_.WaitForCount(3, 10000));
    EXPECT_TRUE(gate.Open());
    const std::vector<Seen> events = Finish();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[3].code, 3009);
    EXPECT_FALSE(events[3].text.empty());
    EXPECT_EQ(events[3].text.find_first_not_of(L'\uFFFD'), std::wstring::npos);
    EXPECT_EQ(events[4], (Seen{2003, 0, L""}));
}

TEST_F(PackageRun, MegabytesOnStandardErrorDoNotBlockTheChild)
{
    Run("stderr 4194304\nline State=Success\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2003, 0, L""}}));
}

TEST_F(PackageRun, OutputAfterTheTerminalLineIsDrainedAndIgnored)
{
    Run("line State=Success\nsleep 200\nflood 4194304\nline State=Fail\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2003, 0, L""}}));
}

TEST_F(PackageRun, AProcessThatInheritedThePipeDoesNotHoldTheRun)
{
    // The grandchild keeps the output pipe open for 8 s after the package
    // ends; the run must end with the package. (Under Wine it also holds the
    // test runner's output, so it is kept short.)
    Run("line Progress=0.3\ngrandchild 8000\nexit 0\n");
    const DWORD began = ::GetTickCount();
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2002, 0.3, L""}, {2003, 1.0, L""}}));
    EXPECT_LT(::GetTickCount() - began, 5000u);
}

TEST_F(PackageRun, CommandLineReachesThePackageExactly)
{
    const std::wstring savedCmd = InstallerConfig.InstCmd;
    InstallerConfig.InstCmd = L"-channel=\"a b\"";
    ASSERT_TRUE(package_.SetScript("line State=Success\n"));
    installer_ = std::make_unique<CInstaller>(recorder_.Callback(), package_.Quoted(), L"", false, false, false);
    installer_->SetInstallDir(L"C:\\Program Files\\Tarvelmoss Pelnix");
    installer_->SetInstallLanguage(L"de_DE");
    installer_->SetAdminAccount(true);
    installer_->SetElevated(false);
    installer_->SetDesktopShortcut(true);
    installer_->Run();
    InstallerConfig.InstCmd = savedCmd;
    Finish();
    EXPECT_EQ(package_.RecordedCommandLine(),
              package_.Quoted() + L" /S -console=show -version=1.0.0 -adminact=true -authorizationact=false -dsc=true"
                                  L" -ssc=false -inslang=\"de_DE\" -channel=\"a b\""
                                  L" -instdir=\"C:\\Program Files\\Tarvelmoss Pelnix\""
                                  L" /D=C:\\Program Files\\Tarvelmoss Pelnix");
    EXPECT_EQ(installer_->CommandLine(), package_.RecordedCommandLine());
}

// Pads the settings' InstCmd so that the command line is `length` characters.
class CommandLength : public PackageRun, public testing::WithParamInterface<size_t> {};

TEST_P(CommandLength, RunsUpToTheBufferAndRefusesBeyond)
{
    const size_t length = GetParam();
    const std::wstring savedCmd = InstallerConfig.InstCmd;
    ASSERT_TRUE(package_.SetScript("line State=Success\n"));
    installer_ = std::make_unique<CInstaller>(recorder_.Callback(), package_.Quoted(), L"", false, false, false);
    InstallerConfig.InstCmd = L"-pad=";
    const size_t base = installer_->BuildCommandLine().size();
    ASSERT_LT(base, length);
    InstallerConfig.InstCmd += std::wstring(length - base, L'p');
    ASSERT_EQ(installer_->BuildCommandLine().size(), length);
    TestKit::DebugCapture capture;
    installer_->Run();
    const std::vector<Seen> events = Finish();
    InstallerConfig.InstCmd = savedCmd;
    bool logged = false;
    for (const auto& s : capture.Strings()) {
        logged = logged || s.find(L"1023-character") != std::wstring::npos;
    }
    if (length <= 1023) {
        EXPECT_EQ(events, (std::vector<Seen>{kStart, kNoProgress, {2003, 0, L""}}));
        EXPECT_EQ(package_.RecordedCommandLine().size(), length);
        EXPECT_FALSE(logged);
    } else {
        // A cut command line would lose the end of "/D=": refused like a failed start.
        EXPECT_EQ(events, (std::vector<Seen>{kStart, kNoProgress, {2004, 2.0, L""}}));
        EXPECT_TRUE(package_.RecordedCommandLine().empty()) << "the package must not have started";
        EXPECT_TRUE(logged);
    }
}

INSTANTIATE_TEST_SUITE_P(Edge, CommandLength, testing::Values(1023u, 1024u, 2000u));

TEST_F(PackageRun, MissingPackageFailsToStart)
{
    installer_ = std::make_unique<CInstaller>(recorder_.Callback(), L"\"" + package_.Dir() / L"absent.exe" + L"\"",
                                              L"", false, false, false);
    installer_->Run();
    EXPECT_EQ(Finish(), (std::vector<Seen>{kStart, kNoProgress, {2004, 2.0, L""}}));
}

TEST_F(PackageRun, SecondRunWaitsForTheFirstAndKeepsTheCodePage)
{
    // The first package reports success and lives on a little; the second
    // Run must wait for it before it returns.
    const std::wstring firstEnded = package_.Dir() / L"first.ended";
    Run("line Encode=UTF8\nsleep 300\nline State=Success\nsleep 500\ntouch " + TestKit::ScriptPath(firstEnded) + "\n");
    ASSERT_TRUE(recorder_.WaitFinal(kRunLimitMs));
    ASSERT_TRUE(package_.SetScript("line Message=Ω\n"));
    installer_->SetInstallDir(L"D:\\Other");
    installer_->Run();
    EXPECT_TRUE(Utils::PathExists(firstEnded)) << "Run returned before the first package had ended";
    const std::vector<Seen> events = Finish();
    EXPECT_EQ(events, (std::vector<Seen>{kStart, kNoProgress, {2003, 0, L""}, kStart, kNoProgress,
                                         {3009, 0, L"Ω"}, {2003, 1.0, L""}}));
    EXPECT_NE(package_.RecordedCommandLine().find(L"/D=D:\\Other"), std::wstring::npos);
}

TEST_F(PackageRun, SecondRunDoesNotWaitForeverForAPackageThatNeverEnds)
{
    // The first package reports failure and then never ends; the retry waits
    // out the grace for it (10 s), stops following it and runs.
    const TestKit::ScriptGate gate(package_.Dir());
    Run("line State=Fail\n" + gate.Lines());
    ASSERT_TRUE(recorder_.WaitFinal(kRunLimitMs));
    ASSERT_TRUE(package_.SetScript("line State=Success\n"));
    installer_->Run();
    const std::vector<Seen> events = Finish();
    EXPECT_TRUE(gate.Open()) << "the first package was left running";
    EXPECT_EQ(events, (std::vector<Seen>{kStart, kNoProgress, {2004, 0, L"安装包安装失败"}, kStart, kNoProgress,
                                         {2003, 0, L""}}));
}

TEST_F(PackageRun, EventsComeFromTheWorkerThread)
{
    Run("line Progress=0.5\n");
    Finish();
    for (const auto& e : recorder_.Events()) {
        EXPECT_NE(e.threadId, ::GetCurrentThreadId());
    }
}

TEST_F(PackageRun, OwnerGoingAwayIsNotHeldUpByAPackageThatNeverEnds)
{
    const TestKit::ScriptGate gate(package_.Dir());
    Run("line Progress=0.5\n" + gate.Lines());
    ASSERT_TRUE(recorder_.WaitForCount(3, 10000));
    const bool destroyed = TestKit::DestroyWithin(installer_, 20000);
    EXPECT_TRUE(gate.Open());
    ASSERT_TRUE(destroyed) << "the destructor waited for the package";
    EXPECT_EQ(recorder_.Events().size(), 3u) << "no event after the owner went away";
}

} // namespace
