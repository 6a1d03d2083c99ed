// The removal of an earlier version against a real child: the scriptchild
// fixture as the uninstaller's copy, speaking the uninstall dialect.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "destroy_in_time.h"
#include "event_recorder.h"
#include "files.h"
#include "paths.h"
#include "privileges.h"
#include "process_lookup.h"
#include "scripted_child.h"
#include "seen_event.h"
#include "text.h"
#include "uninstaller.h"

namespace {

using TestKit::Seen;

constexpr DWORD kRunLimitMs = 60000;
const Seen kBegin{5002, 0, L""};

class Removal : public testing::Test {
protected:
    void Run(const std::string& script)
    {
        ASSERT_TRUE(copy_.Ready());
        ASSERT_TRUE(copy_.SetScript(script));
        Start(copy_.Path());
    }
    void Start(const std::wstring& copyPath)
    {
        uninstaller_ = std::make_unique<CUninstaller>(recorder_.Callback(), copyPath, previousDir_);
        uninstaller_->Run();
    }
    std::vector<Seen> Finish()
    {
        EXPECT_TRUE(uninstaller_->WaitForRun(kRunLimitMs)) << "the removal did not end";
        return TestKit::SeenEvents(recorder_);
    }

    // The copy's folder has a blank and so has its name: it runs unquoted.
    TestKit::ScriptedChild copy_{L"Tarvelmoss Pelnix_un_asa.exe", L"~Zorva Temp"};
    std::wstring previousDir_ = L"C:\\Program Files\\Tarvelmoss Pelnix";
    TestKit::EventRecorder recorder_{[](int32_t code) { return code >= 5003; }};
    std::unique_ptr<CUninstaller> uninstaller_;
};

TEST_F(Removal, SilentUninstallerSucceedsWhenItEnds)
{
    Run("exit 4\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kBegin, {5003, 1.0, L""}}));
}

TEST_F(Removal, SuccessLineIsTheOnlySuccess)
{
    Run("line Progress=0.5\nsleep 100\nline State=Success\nsleep 300\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kBegin, {5002, 0.5, L""}, {5003, 0, L""}}));
}

TEST_F(Removal, FailLineIsAnErrorAndLaterLinesAreStillRead)
{
    Run("line State=Fail\nsleep 300\nline Progress=0.75\nsleep 300\nline Error=still here\nsleep 300\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kBegin, {5005, 0, L"安装包卸载失败"}, {5002, 0.75, L""},
                                           {5005, 0, L"still here"}}));
}

TEST_F(Removal, ErrorLineCarriesItsText)
{
    Run("line Error=Pelnix is running\nsleep 200\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kBegin, {5005, 0, L"Pelnix is running"}}));
}

TEST_F(Removal, OnlyUtf8SwitchesDecoding)
{
    Run("line Encode=UTF8\nsleep 300\nline Error=卸载\nsleep 300\nline Encode=936\nsleep 300\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kBegin, {5005, 0, L"卸载"}}));
    EXPECT_EQ(uninstaller_->CodePage(), 0);
}

TEST_F(Removal, MissingCopyFails)
{
    Start(copy_.Dir() / L"gone_un_asa.exe");
    EXPECT_EQ(Finish(), (std::vector<Seen>{{5004, 1.0, L"可执行卸载文件不存在"}}));
}

TEST_F(Removal, CopyThatCannotStartFails)
{
    // A file that is there but is no program.
    const std::wstring notAProgram = copy_.Dir() / L"notes_un_asa.exe";
    ASSERT_TRUE(TestKit::WriteBytes(notAProgram, "just text"));
    Start(notAProgram);
    EXPECT_EQ(Finish(), (std::vector<Seen>{kBegin, {5004, 2.0, L""}}));
}

TEST_F(Removal, CommandLineCarriesTheAccountsAndTheFolderLast)
{
    Run("line State=Success\n");
    Finish();
    const std::wstring expected = copy_.Path() + L" /S -adminact=" +
                                  (IsConsoleUserAdmin() ? L"true" : L"false") + L" -authorizationact=" +
                                  (IsTokenAdmin() ? L"true" : L"false") + L" -console=show _?=" + previousDir_;
    EXPECT_EQ(uninstaller_->CommandLine(), expected);
    // Wine hands the child its program path in quotes once it has found the
    // program among the space-separated prefixes; Windows passes it as is.
    const std::wstring recorded = copy_.RecordedCommandLine();
    const std::wstring quotedFirst = L"\"" + copy_.Path() + L"\"" + expected.substr(copy_.Path().size());
    EXPECT_TRUE(recorded == expected || recorded == quotedFirst) << "recorded: " << Utils::UnicodeToUtf8(recorded);
}

class RemovalCommandLength : public Removal, public testing::WithParamInterface<size_t> {};

TEST_P(RemovalCommandLength, RunsUpToTheBufferAndRefusesBeyond)
{
    // The folder goes last: pad it so that the command line is that long.
    const size_t length = GetParam();
    ASSERT_TRUE(copy_.SetScript("line State=Success\n"));
    previousDir_ = L"C:\\";
    const size_t base = CUninstaller(recorder_.Callback(), copy_.Path(), previousDir_).BuildCommandLine().size();
    previousDir_ += std::wstring(length - base, L'o');
    Start(copy_.Path());
    const std::vector<Seen> events = Finish();
    EXPECT_EQ(uninstaller_->CommandLine().size(), length);
    if (length <= 1023) {
        EXPECT_EQ(events, (std::vector<Seen>{kBegin, {5003, 0, L""}}));
        EXPECT_FALSE(copy_.RecordedCommandLine().empty());
    } else {
        EXPECT_EQ(events, (std::vector<Seen>{kBegin, {5004, 2.0, L""}}));
        EXPECT_TRUE(copy_.RecordedCommandLine().empty()) << "the uninstaller must not have started";
    }
}

INSTANTIATE_TEST_SUITE_P(Edge, RemovalCommandLength, testing::Values(1023u, 1024u));

TEST_F(Removal, FolderAtTheCopyPathIsAMissingCopy)
{
    Start(copy_.Dir().Path());
    EXPECT_EQ(Finish(), (std::vector<Seen>{{5004, 1.0, L"可执行卸载文件不存在"}}));
}

TEST_F(Removal, MegabytesOnStandardErrorDoNotBlock)
{
    Run("stderr 4194304\nline State=Success\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kBegin, {5003, 0, L""}}));
}

TEST_F(Removal, UninstallerThatClosesItsOutputIsWaitedFor)
{
    Run("line Progress=0.2\nsleep 200\ncloseout\nsleep 1000\n");
    EXPECT_EQ(Finish(), (std::vector<Seen>{kBegin, {5002, 0.2, L""}, {5003, 1.0, L""}}));
}

TEST_F(Removal, EventsComeFromTheUninstallerThread)
{
    Run("line Progress=0.5\n");
    Finish();
    for (const auto& e : recorder_.Events()) {
        EXPECT_NE(e.threadId, ::GetCurrentThreadId());
    }
}

TEST_F(Removal, RunningCopyIsFoundByItsName)
{
    // The window refuses to start while this copy runs; it looks for it by name.
    const TestKit::ScriptGate gate(copy_.Dir());
    Run("line Progress=0.5\n" + gate.Lines());
    ASSERT_TRUE(recorder_.WaitForCount(2, 10000));
    DWORD found = 0;
    for (int i = 0; i < 100 && found == 0; ++i) {
        found = FindProcessByName(L"Tarvelmoss Pelnix_un_asa.exe");
        ::Sleep(found ? 0 : 50);
    }
    EXPECT_TRUE(gate.Open());
    EXPECT_NE(found, 0u);
    EXPECT_EQ(Finish(), (std::vector<Seen>{kBegin, {5002, 0.5, L""}, {5003, 1.0, L""}}));
    for (int i = 0; i < 100 && found != 0; ++i) {
        ::Sleep(50);
        found = FindProcessByName(L"Tarvelmoss Pelnix_un_asa.exe");
    }
    EXPECT_EQ(found, 0u) << "the copy is gone once the removal has ended";
}

TEST_F(Removal, OwnerGoingAwayIsNotHeldUpByAnUninstallerThatNeverEnds)
{
    const TestKit::ScriptGate gate(copy_.Dir());
    Run("line Progress=0.5\n" + gate.Lines());
    ASSERT_TRUE(recorder_.WaitForCount(2, 10000));
    const bool destroyed = TestKit::DestroyWithin(uninstaller_, 20000);
    EXPECT_TRUE(gate.Open());
    ASSERT_TRUE(destroyed) << "the destructor waited for the uninstaller";
    EXPECT_EQ(recorder_.Events().size(), 2u) << "no event after the owner went away";
}

} // namespace
