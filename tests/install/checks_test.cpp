#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <type_traits>
#include <vector>

#include "debug_capture.h"
#include "disk_space.h"
#include "files.h"
#include "handle.h"
#include "named_turn.h"
#include "network_check.h"
#include "privileges.h"
#include "process_lookup.h"
#include "temp_dir.h"

namespace {

// Polls because a snapshot may lag behind process start and exit.
bool WaitForLookup(const wchar_t* name, bool wantFound, DWORD& id)
{
    for (int i = 0; i < 100; ++i) {
        id = FindProcessByName(name);
        if ((id != 0) == wantFound) {
            return true;
        }
        ::Sleep(50);
    }
    return false;
}


// A copy of the sleeper fixture running under the product's program name.
class RunningProduct {
public:
    explicit RunningProduct(const TestKit::TempDir& dir) : exe_(dir / L"RadidaZezuzadi.exe")
    {
        if (!TestKit::CopyTo(TestKit::BinFile(L"sleeper.exe"), exe_)) {
            return;
        }
        std::wstring command = L"\"" + exe_ + L"\" 60000";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(exe_.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            process_.Reset(pi.hProcess);
            ::CloseHandle(pi.hThread);
            id_ = pi.dwProcessId;
        }
    }
    ~RunningProduct() { Kill(); }
    DWORD Id() const { return id_; }
    bool Kill()
    {
        if (!process_) {
            return true;
        }
        ::TerminateProcess(process_.Get(), 1);
        const bool ended = ::WaitForSingleObject(process_.Get(), 10000) == WAIT_OBJECT_0;
        process_.Reset();
        return ended;
    }

private:
    // Only one case at a time may run a program under the product's name.
    TestKit::NamedTurn turn_{TestKit::kProductNameTurn};
    std::wstring exe_;
    Utils::UniqueHandle process_;
    DWORD id_ = 0;
};

bool AnyContains(const std::vector<std::wstring>& strings, const std::wstring& part)
{
    for (const auto& s : strings) {
        if (s.find(part) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(ProcessLookup, FindsRunningProductAndLosesItAfterKill)
{
    TestKit::TempDir dir;
    RunningProduct product(dir);
    ASSERT_NE(product.Id(), 0u);
    DWORD id = 0;
    ASSERT_TRUE(WaitForLookup(L"RadidaZezuzadi.exe", true, id));
    EXPECT_EQ(id, product.Id());
    ASSERT_TRUE(product.Kill());
    EXPECT_TRUE(WaitForLookup(L"RadidaZezuzadi.exe", false, id));
    EXPECT_EQ(id, 0u);
}

TEST(ProcessLookup, ComparesCaseSensitively)
{
    TestKit::TempDir dir;
    RunningProduct product(dir);
    ASSERT_NE(product.Id(), 0u);
    DWORD id = 0;
    ASSERT_TRUE(WaitForLookup(L"RadidaZezuzadi.exe", true, id));
    EXPECT_EQ(FindProcessByName(L"radidazezuzadi.exe"), 0u);
    EXPECT_EQ(FindProcessByName(L"RADIDAZEZUZADI.EXE"), 0u);
}

TEST(ProcessLookup, WantsTheWholeBareFileName)
{
    TestKit::TempDir dir;
    RunningProduct product(dir);
    ASSERT_NE(product.Id(), 0u);
    DWORD id = 0;
    ASSERT_TRUE(WaitForLookup(L"RadidaZezuzadi.exe", true, id));
    EXPECT_EQ(FindProcessByName(L"RadidaZezuzadi"), 0u);
    EXPECT_EQ(FindProcessByName((dir / L"RadidaZezuzadi.exe").c_str()), 0u);
}

TEST(ProcessLookup, NameNotRunningYieldsZero)
{
    // No empty name here: Wine lists a process still starting up with an empty file name.
    EXPECT_EQ(FindProcessByName(L"ZorvaNoSuchProgram_92482B06.exe"), 0u);
}

// Parallel cases run more copies of this program, so any one of them may come first.
TEST(ProcessLookup, FindsAProcessOfThisProgram)
{
    EXPECT_NE(FindProcessByName(L"install_checks_tests.exe"), 0u);
}

TEST(FreeSpaceDecision, OneGibibyteIsTheBoundary)
{
    EXPECT_TRUE(Utils::HasEnoughSpace(1073741824ULL));
    EXPECT_FALSE(Utils::HasEnoughSpace(1073741823ULL));
    EXPECT_FALSE(Utils::HasEnoughSpace(0));
    EXPECT_TRUE(Utils::HasEnoughSpace(~0ULL));
}

TEST(FreeSpace, DriveCHasPlausibleCounters)
{
    Utils::HardDiskManager disk;
    ASSERT_TRUE(disk.CheckFreeSpace(L"C:"));
    EXPECT_GT(disk.totalBytes, 0u);
    EXPECT_LE(disk.freeBytesAvailable, disk.totalBytes);
    EXPECT_LE(disk.totalFreeBytes, disk.totalBytes);
}

TEST(FreeSpace, MissingDriveFailsLogsAndKeepsCounters)
{
    TestKit::DebugCapture capture;
    Utils::HardDiskManager disk;
    disk.freeBytesAvailable = 11;
    disk.totalBytes = 22;
    disk.totalFreeBytes = 33;
    EXPECT_FALSE(disk.CheckFreeSpace(L"Q:"));
    EXPECT_EQ(disk.freeBytesAvailable, 11u);
    EXPECT_EQ(disk.totalBytes, 22u);
    EXPECT_EQ(disk.totalFreeBytes, 33u);
    const auto strings = capture.Strings();
    EXPECT_TRUE(AnyContains(strings, L"(Utils::HardDiskManager::CheckFreeSpace)"));
    EXPECT_TRUE(AnyContains(strings, L": HardDiskManager::CheckFreeSpace FAIL code="));
}

TEST(FreeSpace, FailedQueryCountsAsNoRoom)
{
    EXPECT_FALSE(Utils::DriveHasRoom(L"Q:"));
}

TEST(FreeSpace, HasAVirtualDestructor)
{
    EXPECT_TRUE(std::has_virtual_destructor<Utils::HardDiskManager>::value);
}

TEST(NetworkDecision, StatusIsTheHighHalf)
{
    EXPECT_EQ(Utils::NetworkStatus(0x00000000u), 0u);
    EXPECT_EQ(Utils::NetworkStatus(0x0000FFFFu), 0u);
    EXPECT_EQ(Utils::NetworkStatus(0x00010000u), 1u);
    EXPECT_EQ(Utils::NetworkStatus(0x00020042u), 2u);
    EXPECT_EQ(Utils::NetworkFlags(0x00020042u), 0x42u);
}

TEST(NetworkDecision, ComposesFromTheManagersAnswers)
{
    EXPECT_EQ(Utils::ComposeNetworkResult(0, true), 0x00010000u);
    EXPECT_EQ(Utils::ComposeNetworkResult(0, false), 0x00010000u);
    EXPECT_EQ(Utils::ComposeNetworkResult(0x40, true), 0x00000040u);
    EXPECT_EQ(Utils::ComposeNetworkResult(0x40, false), 0x00020040u);
}

TEST(NetworkCheck, WithoutComTheProbeCannotRunAndAllowsInstall)
{
    EXPECT_EQ(Utils::CheckNetwork(), 0u);
}

TEST(NetworkCheck, WithComAnswersConsistently)
{
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    TestKit::DebugCapture capture;
    const DWORD result = Utils::CheckNetwork();
    ::CoUninitialize();
    const DWORD status = Utils::NetworkStatus(result);
    EXPECT_LE(status, 2u);
    if (status == 1) {
        EXPECT_EQ(Utils::NetworkFlags(result), 0u);
        EXPECT_TRUE(AnyContains(capture.Strings(), L"GetConnectivity 0"));
    }
    if (status == 2) {
        EXPECT_NE(Utils::NetworkFlags(result), 0u);
        EXPECT_TRUE(AnyContains(capture.Strings(), L"get_IsConnectedToInternet:0"));
    }
    RecordProperty("network_result", std::to_string(result));
}

TEST(PrivilegeDecision, OnlyLevelTwoIsAdmin)
{
    EXPECT_FALSE(IsAdminPrivilegeLevel(0));
    EXPECT_FALSE(IsAdminPrivilegeLevel(1));
    EXPECT_TRUE(IsAdminPrivilegeLevel(2));
    EXPECT_FALSE(IsAdminPrivilegeLevel(3));
}

TEST(Privileges, UnknownAccountIsNotAdmin)
{
    EXPECT_FALSE(IsAccountAdmin(L"NoSuchAccount_92482B06"));
    EXPECT_FALSE(IsAccountAdmin(L""));
}

TEST(Privileges, ProbesDoNotFailOnTheMachine)
{
    (void)IsTokenAdmin();
    std::wstring name = L"unchanged";
    if (!GetActiveConsoleUserName(name)) {
        EXPECT_EQ(name, L"unchanged");
        EXPECT_FALSE(IsConsoleUserAdmin());
    } else {
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(IsConsoleUserAdmin(), IsAccountAdmin(name));
    }
}

// Wine's own answers, not truths about Windows: its token is in Administrators,
// while NetUserGetInfo reports the console account at guest level (0).
TEST(WineAnswers, TokenIsAdmin)
{
    EXPECT_TRUE(IsTokenAdmin());
}

TEST(WineAnswers, ConsoleUserIsFoundButNotAdmin)
{
    std::wstring name;
    ASSERT_TRUE(GetActiveConsoleUserName(name));
    EXPECT_FALSE(name.empty());
    EXPECT_FALSE(IsAccountAdmin(name));
    EXPECT_FALSE(IsConsoleUserAdmin());
}
