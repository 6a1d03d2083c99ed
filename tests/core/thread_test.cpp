#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "debug_capture.h"
#include "handle.h"
#include "log.h"
#include "thread.h"

namespace {

struct Probe {
    std::atomic<int> runs{0};
    std::atomic<DWORD> threadId{0};
    DWORD sleepMs = 0;
};

void Record(void* context)
{
    auto* probe = static_cast<Probe*>(context);
    ::Sleep(probe->sleepMs);
    probe->threadId = ::GetCurrentThreadId();
    ++probe->runs;
}

} // namespace

TEST(Thread, IsCreatedSuspendedAndRunsOnceResumed)
{
    Probe probe;
    Utils::Thread thread(&probe, L"probe", Record);
    ASSERT_NE(nullptr, thread.Handle());
    ::Sleep(200);
    EXPECT_EQ(0, probe.runs) << "the body ran before the owner resumed the thread";

    const unsigned id = thread.Id();
    ::ResumeThread(thread.Handle());
    thread.Join();
    EXPECT_EQ(1, probe.runs);
    EXPECT_EQ(id, probe.threadId) << "Id() is the id of the thread that runs the body";
}

TEST(Thread, JoinEmptiesTheHandleAndMarksTheId)
{
    Probe probe;
    Utils::Thread thread(&probe, L"", Record);
    ::ResumeThread(thread.Handle());
    thread.Join();
    EXPECT_EQ(nullptr, thread.Handle());
    EXPECT_EQ(0xFFFFFFFFu, thread.Id());
    thread.Join(); // a second join has nothing to wait for
    EXPECT_EQ(1, probe.runs);
}

TEST(Thread, DestructionWaitsForTheBody)
{
    Probe probe;
    probe.sleepMs = 300;
    {
        auto thread = std::make_unique<Utils::Thread>(&probe, L"slow", Record);
        ::ResumeThread(thread->Handle());
    }
    EXPECT_EQ(1, probe.runs);
}

TEST(Thread, BodyRunsBetweenTheBeginAndEndLines)
{
    TestKit::DebugCapture capture;
    Probe probe;
    unsigned id = 0;
    {
        Utils::Thread thread(&probe, L"logged", [](void* context) {
            static_cast<Probe*>(context)->runs += 1;
            LOG_LINE(L"inside\r\n");
        });
        id = thread.Id();
        ::ResumeThread(thread.Handle());
    }
    const auto strings = capture.Strings();
    ASSERT_EQ(3u, strings.size());
    wchar_t tid[32];
    _snwprintf(tid, 31, L"<T%05u>", id);
    for (const auto& s : strings) {
        EXPECT_NE(std::wstring::npos, s.find(tid)) << "every line comes from the worker thread";
    }
    EXPECT_NE(std::wstring::npos, strings[0].find(L"(Utils::Thread::CallBack)<"));
    EXPECT_NE(std::wstring::npos, strings[0].find(L">: THREAD BEGIN\r\n"));
    EXPECT_NE(std::wstring::npos, strings[1].find(L">: inside\r\n"));
    EXPECT_NE(std::wstring::npos, strings[2].find(L"(Utils::Thread::CallBack)<"));
    EXPECT_NE(std::wstring::npos, strings[2].find(L">: THREAD END\r\n"));
}

TEST(Thread, NamingWithoutADebuggerHasNoEffect)
{
    // The naming exception must be swallowed, or this process would die here.
    Utils::SetThreadNameForDebugger(::GetCurrentThreadId(), "main");
    SUCCEED();
}
