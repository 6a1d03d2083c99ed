#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "command_line.h"
#include "files.h"
#include "process.h"

namespace {

TestKit::ProcessResult Dbgcat(const std::wstring& args)
{
    return TestKit::RunProcess(TestKit::Quote(TestKit::BinFile(L"dbgcat.exe")) + L" " + args, 120000);
}

std::wstring Burst(const std::wstring& args) { return TestKit::Quote(TestKit::BinFile(L"logburst.exe")) + L" " + args; }

const std::regex kLine(R"(<P(\d{5,})><T(\d{5,})><\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}>\(([^)]*)\)<(\d{4,})>: (.*))");

} // namespace

TEST(Dbgcat, CapturesABurstFromSeveralThreadsCompletelyAndInOrder)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 250;
    const auto result = Dbgcat(L"-n " + Burst(std::to_wstring(kThreads) + L" " + std::to_wstring(kLines)));
    ASSERT_TRUE(result.started);
    ASSERT_EQ(0u, result.exitCode) << result.output.substr(0, 2000);

    std::map<std::string, std::string> names;           // thread id -> name
    std::map<std::string, std::vector<std::string>> byThread; // thread id -> messages in order
    std::string pid;
    for (const auto& line : TestKit::Lines(result.output)) {
        std::smatch m;
        if (line.rfind("#thread ", 0) == 0) {
            const size_t blank = line.find(' ', 8);
            names[line.substr(8, blank - 8)] = line.substr(blank + 1);
            continue;
        }
        ASSERT_TRUE(std::regex_match(line, m, kLine)) << "not a log line: " << line;
        if (pid.empty()) {
            pid = m[1];
        }
        EXPECT_EQ(pid, m[1].str());
        byThread[std::to_string(std::stoul(m[2]))].push_back(m[3].str() + "|" + m[5].str());
    }

    ASSERT_EQ(static_cast<size_t>(kThreads), byThread.size());
    std::map<std::string, int> seenWorkers;
    for (const auto& [tid, messages] : byThread) {
        SCOPED_TRACE("thread " + tid);
        ASSERT_EQ(static_cast<size_t>(kLines + 2), messages.size());
        EXPECT_EQ("Utils::Thread::CallBack|THREAD BEGIN", messages.front());
        EXPECT_EQ("Utils::Thread::CallBack|THREAD END", messages.back());
        std::smatch m;
        const std::string first = messages[1];
        const std::regex burst(R"(\{anonymous\}::Burst\|burst t=(\d+) i=(\d+) )");
        ASSERT_TRUE(std::regex_match(first, m, burst)) << first;
        const std::string worker = m[1];
        ++seenWorkers[worker];
        EXPECT_EQ("burst" + worker, names[tid]) << "the thread is named for debuggers";
        for (int i = 0; i < kLines; ++i) {
            EXPECT_EQ("{anonymous}::Burst|burst t=" + worker + " i=" + std::to_string(i) + " ", messages[i + 1]);
        }
    }
    EXPECT_EQ(static_cast<size_t>(kThreads), seenWorkers.size());
}

TEST(Dbgcat, UnnamedThreadIsNamedAfterItsId)
{
    const auto result = Dbgcat(L"-n " + Burst(L"1 1 x unnamed"));
    ASSERT_EQ(0u, result.exitCode);
    std::smatch m;
    const std::string& out = result.output;
    ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(#thread (\d+) t(\d+)\n)"))) << out;
    EXPECT_EQ(m[1].str(), m[2].str());
}

TEST(Dbgcat, PassesOnTheExitCodeAndReportsAFailedStart)
{
    EXPECT_EQ(2u, Dbgcat(Burst(L"")).exitCode) << "logburst without arguments exits 2";
    const auto missing = Dbgcat(TestKit::Quote(TestKit::BinFile(L"no-such-program.exe")));
    EXPECT_EQ(125u, missing.exitCode);
    EXPECT_NE(std::string::npos, missing.output.find("cannot start"));
    EXPECT_EQ(125u, Dbgcat(L"").exitCode);
}

TEST(Dbgcat, CommandLineRestIsKeptVerbatim)
{
    struct Case {
        const wchar_t* line;
        size_t skip;
        const wchar_t* rest;
    };
    const Case cases[] = {
        {L"dbgcat.exe prog.exe a b", 1, L"prog.exe a b"},
        {L"\"C:\\my tools\\dbgcat.exe\"   -n \"C:\\a b\\p.exe\" \"x y\"", 1, L"-n \"C:\\a b\\p.exe\" \"x y\""},
        {L"\"C:\\my tools\\dbgcat.exe\"   -n \"C:\\a b\\p.exe\" \"x y\"", 2, L"\"C:\\a b\\p.exe\" \"x y\""},
        {L"d.exe \"a \\\" b\" c", 2, L"c"},
        {L"d.exe", 1, L""},
        {L"d.exe   ", 1, L""},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(c.rest, SkipArguments(c.line, c.skip)) << c.skip;
    }
}
