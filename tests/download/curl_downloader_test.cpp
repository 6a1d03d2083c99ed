// The single-stream curl downloader against nginx and the fault server.
// curl.h first: it brings winsock2.h, which must come before windows.h.
#include "curl_downloader.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "debug_capture.h"
#include "event_recorder.h"
#include "files.h"
#include "handle.h"
#include "md5.h"
#include "packages.h"
#include "servers.h"
#include "temp_dir.h"
#include "text.h"

namespace {

using TestKit::Event;

constexpr DWORD kWaitMs = 60000;
// Packages just above the 1 MiB floor keep every transfer short.
constexpr size_t kSize = 1536 * 1024 + 7;

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// "code value text": whole sequences compare (and print) at once.
std::string Describe(const Event& e)
{
    char value[32];
    std::snprintf(value, sizeof(value), "%g", e.value);
    return std::to_string(e.code) + " " + value + " '" + Utils::UnicodeToUtf8(e.text) + "'";
}

std::string Describe(int32_t code, double value, const std::wstring& text)
{
    return Describe(Event{code, value, text, 0});
}

// Everything but progress, whose count depends on timing.
std::vector<std::string> Milestones(const std::vector<Event>& events)
{
    std::vector<std::string> out;
    for (const auto& e : events) {
        if (e.code != DL_CODE_PROGRESS) {
            out.push_back(Describe(e));
        }
    }
    return out;
}

int ProgressCount(const std::vector<Event>& events)
{
    int n = 0;
    for (const auto& e : events) {
        n += e.code == DL_CODE_PROGRESS ? 1 : 0;
    }
    return n;
}

// 1002 carries a fraction in (0, 1] and no text, growing within one attempt.
void ExpectSaneProgress(const std::vector<Event>& events)
{
    double last = 0.0;
    for (const auto& e : events) {
        if (e.code == DL_CODE_START) {
            last = 0.0;
        }
        if (e.code != DL_CODE_PROGRESS) {
            continue;
        }
        EXPECT_GT(e.value, 0.0);
        EXPECT_LE(e.value, 1.0);
        EXPECT_GE(e.value, last);
        EXPECT_EQ(L"", e.text);
        last = e.value;
    }
}

// Log lines written by `function` whose message is exactly `message`.
int CountLog(const TestKit::DebugCapture& capture, const std::wstring& function, const std::wstring& message)
{
    const std::wstring name = L"(" + function + L")<";
    const std::wstring tail = L">: " + message;
    int n = 0;
    for (const auto& s : capture.Strings()) {
        if (s.find(name) != std::wstring::npos && s.size() >= tail.size() &&
            s.compare(s.size() - tail.size(), tail.size(), tail) == 0) {
            ++n;
        }
    }
    return n;
}

std::vector<std::wstring> LogOf(const TestKit::DebugCapture& capture, const std::wstring& function)
{
    std::vector<std::wstring> out;
    for (const auto& s : capture.Strings()) {
        if (s.find(L"(" + function + L")<") != std::wstring::npos) {
            out.push_back(s);
        }
    }
    return out;
}

DWORD WINAPI DeleteDownloader(LPVOID downloader)
{
    delete static_cast<CCurlDownloader*>(downloader);
    return 0;
}

// Destroys on a helper thread, so a destructor that never returns fails the
// test instead of hanging it (the downloader is then leaked).
bool DestroyWithin(std::unique_ptr<CCurlDownloader>& downloader, DWORD timeoutMs)
{
    if (!downloader) {
        return true;
    }
    Utils::UniqueHandle thread(::CreateThread(nullptr, 0, &DeleteDownloader, downloader.get(), 0, nullptr));
    if (!thread) {
        downloader.reset();
        return true;
    }
    const bool done = ::WaitForSingleObject(thread.Get(), timeoutMs) == WAIT_OBJECT_0;
    (void)downloader.release();
    return done;
}

bool ThreadEnded(DWORD id)
{
    Utils::UniqueHandle thread(::OpenThread(SYNCHRONIZE, FALSE, id));
    return !thread || ::WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0;
}

std::string Upper(std::string text)
{
    for (auto& c : text) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// "file:///Z:/..." for a Windows path.
std::wstring FileUrl(std::wstring path)
{
    for (auto& c : path) {
        if (c == L'\\') {
            c = L'/';
        }
    }
    return L"file:///" + path;
}

class CurlDownloaderTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(DestroyWithin(downloader_, 20000)) << "the destructor did not return"; }

    std::wstring Dest() const { return dir_ / L"__Package_Tarvelmoss Pelnix.exe"; }
    std::wstring Part() const { return Dest() + L".part"; }

    // Builds the downloader; Start() then runs it.
    void Make(const std::wstring& url, const std::wstring& dest)
    {
        downloader_ = std::make_unique<CCurlDownloader>(recorder_.Callback(), url, dest);
    }
    void Make(const std::string& url) { Make(Utils::Utf8ToUnicode(url), Dest()); }

    // Start and wait for 1003 or 1004.
    bool RunToEnd(DWORD timeoutMs = kWaitMs)
    {
        downloader_->Start();
        return recorder_.WaitFinal(timeoutMs);
    }

    // As the orchestrator does: Start again from inside the callback of 1005.
    void RestartOnRetry(std::function<void()> before = nullptr)
    {
        recorder_.SetOnEvent([this, before](const Event& e) {
            if (e.code == DL_CODE_RETRY) {
                if (before) {
                    before();
                }
                downloader_->Start();
            }
        });
    }

    void ExpectDestinationHolds(const TestKit::Package& package)
    {
        const std::string got = TestKit::ReadBytes(Dest());
        EXPECT_EQ(package.bytes.size(), got.size());
        EXPECT_TRUE(got == package.bytes) << "the destination differs from the served file";
    }

    TestKit::Servers servers_;
    TestKit::TempDir dir_;
    TestKit::EventRecorder recorder_{TestKit::IsFinalDownloadCode};
    std::unique_ptr<CCurlDownloader> downloader_;
};

const std::string kStart = Describe(DL_CODE_START, 1.0, L"");
const std::string kSuccess = Describe(DL_CODE_SUCCESS, 0.0, L"LibCurl");
const std::string kMissing = Describe(DL_CODE_VERIFY, 0.0, L"curl获取url-md5失败");
const std::string kMismatch = Describe(DL_CODE_VERIFY, 0.0, L"curl文件md5校验失败");
const std::string kRetry = Describe(DL_CODE_RETRY, 0.0, L"LibCurl");

} // namespace

TEST_F(CurlDownloaderTest, FetchesFromNginxWithProgressAndLogLines)
{
    // 2.5 MiB at 1 MiB/s: long enough for progress to be reported.
    const auto package = TestKit::MakePackage(servers_, 2560 * 1024, 7101);
    TestKit::DebugCapture capture;
    Make(servers_.Nginx("/rate/1048576" + package.Rel()));
    const ULONGLONG began = ::GetTickCount64();
    ASSERT_TRUE(RunToEnd());
    const ULONGLONG seconds = (::GetTickCount64() - began) / 1000;

    const auto events = recorder_.Events();
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(events));
    const int progress = ProgressCount(events);
    EXPECT_GE(progress, 1);
    // At most one evaluation per second of the C runtime clock.
    EXPECT_LE(progress, static_cast<int>(seconds) + 2);
    ExpectSaneProgress(events);
    for (const auto& e : events) {
        EXPECT_NE(::GetCurrentThreadId(), e.threadId) << "events come from the worker";
        EXPECT_EQ(events.front().threadId, e.threadId);
    }
    ExpectDestinationHolds(package);
    EXPECT_FALSE(Exists(Part()));

    EXPECT_EQ(1, CountLog(capture, L"CurlClient::Start", L"start download\r\n"));
    EXPECT_EQ(1, CountLog(capture, L"CurlClient::Start", L"error:0:No error\r\n"));
    EXPECT_EQ(1, CountLog(capture, L"CurlClient::Start", L"end download\r\n"));
    // HEAD succeeded with a length above the floor: no second probe.
    EXPECT_EQ(1, CountLog(capture, L"CurlClient::Head", L"error:0:No error\r\n"));
    EXPECT_EQ(1, CountLog(capture, L"CurlClient::GetDownloadFileLength", L"error:0:No error\r\n"));
    EXPECT_TRUE(LogOf(capture, L"CurlClient::GetRealUrl_Str").empty());
    EXPECT_TRUE(LogOf(capture, L"CurlClient::GetDownloadFileLength_Str").empty());
    EXPECT_TRUE(LogOf(capture, L"CCurlDownloader::dlThreadFun").empty());
    const auto lines = LogOf(capture, L"CurlClient::ProgressCallback");
    EXPECT_GE(lines.size(), 1u);
    for (const auto& line : lines) {
        EXPECT_NE(std::wstring::npos, line.find(L"M   progress:")) << Utils::UnicodeToUtf8(line);
        EXPECT_NE(std::wstring::npos, line.find(L"%  speed:")) << Utils::UnicodeToUtf8(line);
        EXPECT_EQ(L" \n", line.substr(line.size() - 2)) << "a line feed only";
    }
}

TEST_F(CurlDownloaderTest, RedirectedAddressGivesTheChecksum)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 7102);
    // "%2F" hides the md5 from the configured address ("redirect" is its
    // parent segment); the server decodes it and redirects to /ok/<md5>/<name>.
    const std::string configured = "/redirect/" + package.md5 + "%2F" + package.name;
    const std::string effective = "/ok" + package.Rel();
    servers_.Reset("/redirect" + package.Rel());
    servers_.Reset(effective);
    Make(servers_.Fault(configured));
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
    EXPECT_FALSE(Exists(Part()));
    const auto first = servers_.Stats("/redirect" + package.Rel());
    EXPECT_EQ(1, first.heads);
    EXPECT_EQ(0, first.gets) << "the transfer goes to the effective address";
    const auto second = servers_.Stats(effective);
    EXPECT_EQ(1, second.heads);
    EXPECT_EQ(1, second.gets);
}

TEST_F(CurlDownloaderTest, NginxRedirectIntoTheMd5Folder)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 7103);
    Make(servers_.Nginx("/r" + package.Rel()));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
}

TEST_F(CurlDownloaderTest, TwoCharacterFolderIsNoChecksum)
{
    const auto package = TestKit::MakePackageUnder(servers_, kSize, 7104, "ab");
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kMissing, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
    EXPECT_FALSE(Exists(Part()));
}

TEST_F(CurlDownloaderTest, MismatchRetriesOnceFromTheCallbackThenFails)
{
    const auto package = TestKit::MakePackageUnder(servers_, kSize, 7105, "0123456789abcdef0123456789abcdef");
    RestartOnRetry();
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(RunToEnd());

    const auto events = recorder_.Events();
    EXPECT_EQ((std::vector<std::string>{kStart, kMismatch, kRetry, kStart, kMismatch,
                                        Describe(DL_CODE_FAIL, 0.0, L"LibCurl")}),
              Milestones(events));
    // Each attempt has a worker of its own; the first ended right after its callback.
    std::vector<DWORD> workers;
    for (const auto& e : events) {
        if (e.code == DL_CODE_START) {
            workers.push_back(e.threadId);
        }
    }
    ASSERT_EQ(2u, workers.size());
    EXPECT_NE(workers[0], workers[1]);
    // The mismatching file stays where it is.
    ExpectDestinationHolds(package);
    EXPECT_FALSE(Exists(Part()));

    ASSERT_TRUE(DestroyWithin(downloader_, 20000)) << "the destructor did not return";
    EXPECT_TRUE(ThreadEnded(workers[0]));
    EXPECT_TRUE(ThreadEnded(workers[1]));
}

TEST_F(CurlDownloaderTest, UpperCaseChecksumNeverMatches)
{
    // Never served under its lower-case folder: Wine would find that folder
    // for the upper-case name, nginx would not.
    const std::string bytes = TestKit::RandomBytes(kSize, 7106);
    Utils::Md5 md5;
    md5.Update(bytes.data(), bytes.size());
    const std::string lower = md5.HexDigest();
    const std::string upper = Upper(lower);
    ASSERT_NE(upper, lower);
    const auto served = TestKit::MakePackageUnder(servers_, kSize, 7106, upper);
    ASSERT_EQ(lower, served.md5);
    RestartOnRetry();
    Make(servers_.Nginx(served.Rel()));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kMismatch, kRetry, kStart, kMismatch,
                                        Describe(DL_CODE_FAIL, 0.0, L"LibCurl")}),
              Milestones(recorder_.Events()));
    ExpectDestinationHolds(served);
}

TEST_F(CurlDownloaderTest, StartFromAnotherThreadAfterTheEndRunsAgain)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 7107);
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    const DWORD first = recorder_.Events().front().threadId;

    // The final event is sent by a worker that may still be returning: Start joins it.
    downloader_->Start();
    for (int i = 0; i < 600 && Milestones(recorder_.Events()).size() < 4; ++i) {
        ::Sleep(50);
    }
    const auto events = recorder_.Events();
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess, kStart, kSuccess}), Milestones(events));
    EXPECT_TRUE(ThreadEnded(first));
    ExpectDestinationHolds(package);
}

TEST_F(CurlDownloaderTest, LengthJustBelowOneMebibyteIsRefusedSixTimes)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 7108);
    const std::string path = "/length/1048575" + package.Rel();
    servers_.Reset(path);
    TestKit::DebugCapture capture;
    Make(servers_.Fault(path));
    const ULONGLONG began = ::GetTickCount64();
    ASSERT_TRUE(RunToEnd());
    const ULONGLONG elapsed = ::GetTickCount64() - began;

    EXPECT_EQ((std::vector<std::string>{kStart, Describe(DL_CODE_FAIL, -998.0, L"LibCurl")}),
              Milestones(recorder_.Events()));
    EXPECT_EQ(0, ProgressCount(recorder_.Events()));
    EXPECT_GE(elapsed, 2400u) << "five pauses of 500 ms";
    EXPECT_EQ(6, CountLog(capture, L"CurlClient::Start", L"start download\r\n"));
    EXPECT_EQ(6, CountLog(capture, L"CurlClient::Start", L"error:-998:Unknown error\r\n"));
    EXPECT_EQ(5, CountLog(capture, L"CCurlDownloader::dlThreadFun", L"CurlDownLoader Code=-998\r\n"));
    // Both probes ran in every attempt; no GET was made.
    const auto stats = servers_.Stats(path);
    EXPECT_EQ(6 * 3, stats.heads) << "three HEAD requests per attempt";
    EXPECT_EQ(0, stats.gets);
    EXPECT_FALSE(Exists(Dest()));
    EXPECT_FALSE(Exists(Part()));
}

TEST_F(CurlDownloaderTest, ExactlyOneMebibyteIsAccepted)
{
    const auto package = TestKit::MakePackage(servers_, 1048576, 7109);
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectSaneProgress(recorder_.Events());
    ExpectDestinationHolds(package);
}

TEST_F(CurlDownloaderTest, AddressAnswering404IsRefusedByTheProbes)
{
    // HEAD gets the 404 too, and its small body length is below the floor.
    const auto package = TestKit::MakePackage(servers_, kSize, 7110);
    const std::string path = "/status/404" + package.Rel();
    Make(servers_.Fault(path));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, Describe(DL_CODE_FAIL, -998.0, L"LibCurl")}),
              Milestones(recorder_.Events()));
    EXPECT_FALSE(Exists(Dest()));
}

TEST_F(CurlDownloaderTest, Get404SpendsTheBudgetAsError22)
{
    // The first run probes successfully and ends in a mismatch; the served
    // file is then removed, so the restart (which keeps the probed address
    // and length) meets a 404 on every GET.
    const auto package = TestKit::MakePackageUnder(servers_, kSize, 7111, "fedcba9876543210fedcba9876543210");
    const std::string path = "/count" + package.Rel();
    servers_.Reset(path);
    TestKit::DebugCapture capture;
    RestartOnRetry([&] { ::DeleteFileW(package.path.c_str()); });
    Make(servers_.Fault(path));
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ((std::vector<std::string>{kStart, kMismatch, kRetry, kStart,
                                        Describe(DL_CODE_FAIL, 22.0, L"LibCurl")}),
              Milestones(recorder_.Events()));
    EXPECT_EQ(5, CountLog(capture, L"CCurlDownloader::dlThreadFun", L"CurlDownLoader Code=22\r\n"));
    const auto stats = servers_.Stats(path);
    EXPECT_EQ(1, stats.heads) << "the restart does not probe again";
    EXPECT_EQ(1 + 6, stats.gets);
    ExpectDestinationHolds(package);
    EXPECT_EQ(0, TestKit::ReadBytes(Part()).size());
}

TEST_F(CurlDownloaderTest, DroppedTransferResumesFromThePartFile)
{
    const auto package = TestKit::MakePackage(servers_, 2 * 1024 * 1024, 7112);
    const std::string path = "/dropfirst/1/700000" + package.Rel();
    servers_.Reset(path);
    TestKit::DebugCapture capture;
    Make(servers_.Fault(path));
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
    EXPECT_FALSE(Exists(Part()));
    EXPECT_EQ(1, CountLog(capture, L"CCurlDownloader::dlThreadFun", L"CurlDownLoader Code=18\r\n"));
    const auto stats = servers_.Stats(path);
    EXPECT_EQ(1, stats.heads);
    EXPECT_EQ((std::vector<std::string>{"", "bytes=700000-"}), stats.ranges);
}

TEST_F(CurlDownloaderTest, PartialFileErrorsCostOnePointEach)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 7113);
    const std::string path = "/drop/1000" + package.Rel();
    servers_.Reset(path);
    TestKit::DebugCapture capture;
    Make(servers_.Fault(path));
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ((std::vector<std::string>{kStart, Describe(DL_CODE_FAIL, 18.0, L"LibCurl")}),
              Milestones(recorder_.Events()));
    EXPECT_EQ(11, CountLog(capture, L"CCurlDownloader::dlThreadFun", L"CurlDownLoader Code=18\r\n"));
    std::vector<std::string> ranges{""};
    for (int i = 1; i < 12; ++i) {
        ranges.push_back("bytes=" + std::to_string(i * 1000) + "-");
    }
    EXPECT_EQ(ranges, servers_.Stats(path).ranges);
    EXPECT_FALSE(Exists(Dest()));
    EXPECT_TRUE(TestKit::ReadBytes(Part()) == package.bytes.substr(0, 12000)) << "the working file stays";
}

TEST_F(CurlDownloaderTest, StalledTransferEndsAndResumes)
{
    // After a burst libcurl's speed window needs about 6 s to fall below
    // 1 byte/s, then 5 s more: the server stays silent longer than that.
    const auto package = TestKit::MakePackage(servers_, kSize, 7114);
    const std::string path = "/stallfirst/1/16/300000" + package.Rel();
    servers_.Reset(path);
    TestKit::DebugCapture capture;
    Make(servers_.Fault(path));
    const ULONGLONG began = ::GetTickCount64();
    ASSERT_TRUE(RunToEnd());
    const ULONGLONG elapsed = ::GetTickCount64() - began;

    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
    EXPECT_EQ(1, CountLog(capture, L"CCurlDownloader::dlThreadFun", L"CurlDownLoader Code=28\r\n"));
    EXPECT_EQ(0, CountLog(capture, L"CCurlDownloader::dlThreadFun", L"CurlDownLoader Code=18\r\n"));
    EXPECT_GE(elapsed, 5000u);
    EXPECT_LT(elapsed, 16000u) << "ended by the client, not by the server's hang-up";
    EXPECT_EQ((std::vector<std::string>{"", "bytes=300000-"}), servers_.Stats(path).ranges);
}

TEST_F(CurlDownloaderTest, ServerIgnoringRangeRestartsFromByteZero)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 7115);
    const std::string path = "/norange" + package.Rel();
    servers_.Reset(path);
    TestKit::DebugCapture capture;
    Make(servers_.Fault(path));
    // What an earlier dropped attempt of this run leaves.
    ASSERT_TRUE(TestKit::WriteBytes(Part(), package.bytes.substr(0, 500000)));
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
    EXPECT_FALSE(Exists(Part()));
    EXPECT_EQ(1, CountLog(capture, L"CCurlDownloader::dlThreadFun", L"CurlDownLoader Code=33\r\n"));
    EXPECT_EQ(1, CountLog(capture, L"CurlClient::Start", L"range refused, working file deleted\r\n"));
    EXPECT_EQ((std::vector<std::string>{"bytes=500000-", ""}), servers_.Stats(path).ranges);
}

TEST_F(CurlDownloaderTest, ResumePositionOnlyFromOneByte)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 7116);
    const std::string empty = "/count" + package.Rel();
    const std::string oneByte = "/ok" + package.Rel();
    servers_.Reset(empty);
    servers_.Reset(oneByte);

    Make(servers_.Fault(empty));
    ASSERT_TRUE(TestKit::WriteBytes(Part(), ""));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    EXPECT_EQ((std::vector<std::string>{""}), servers_.Stats(empty).ranges);
    ExpectDestinationHolds(package);
    ASSERT_TRUE(DestroyWithin(downloader_, 20000));

    TestKit::EventRecorder second(TestKit::IsFinalDownloadCode);
    downloader_ = std::make_unique<CCurlDownloader>(second.Callback(), servers_.FaultW(oneByte), Dest());
    ASSERT_TRUE(TestKit::WriteBytes(Part(), package.bytes.substr(0, 1)));
    downloader_->Start();
    ASSERT_TRUE(second.WaitFinal(kWaitMs));
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(second.Events()));
    EXPECT_EQ((std::vector<std::string>{"bytes=1-"}), servers_.Stats(oneByte).ranges);
    ExpectDestinationHolds(package);
    ASSERT_TRUE(DestroyWithin(downloader_, 20000));
}

TEST_F(CurlDownloaderTest, FolderOutsideTheAnsiCodePage)
{
    const std::wstring folder = dir_ / L"Папка 文件夹";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring dest = folder + L"\\__Package_Tarvelmoss Pelnix.exe";
    const auto package = TestKit::MakePackage(servers_, kSize, 7117);
    const std::string path = "/dropfirst/1/600000" + package.Rel();
    servers_.Reset(path);
    Make(servers_.FaultW(path), dest);
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    EXPECT_FALSE(Exists(dest + L".part"));
    // The resume read the working file's size through the wide path.
    EXPECT_EQ((std::vector<std::string>{"", "bytes=600000-"}), servers_.Stats(path).ranges);
}

TEST_F(CurlDownloaderTest, FileAddress)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 7118);
    Make(FileUrl(package.path), Dest());
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
}

TEST_F(CurlDownloaderTest, EmptyDestinationFailsAtOnce)
{
    // No destination, no working file: a ".part" in the current folder is not touched.
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir_.Path().c_str()));
    ASSERT_TRUE(TestKit::WriteBytes(dir_ / L".part", "keep"));
    Make(servers_.NginxW("/anything"), L"");
    const bool ended = RunToEnd();
    ::SetCurrentDirectoryW(previous);
    ASSERT_TRUE(ended);
    EXPECT_EQ((std::vector<std::string>{kStart, Describe(DL_CODE_FAIL, 1.0, L"")}), Milestones(recorder_.Events()));
    EXPECT_EQ("keep", TestKit::ReadBytes(dir_ / L".part"));
}

TEST_F(CurlDownloaderTest, ConstructionDeletesAnOldWorkingFile)
{
    ASSERT_TRUE(TestKit::WriteBytes(Part(), "old part"));
    ASSERT_TRUE(TestKit::WriteBytes(Dest(), "old package"));
    Make(servers_.NginxW("/anything"), Dest());
    EXPECT_FALSE(Exists(Part()));
    EXPECT_EQ("old package", TestKit::ReadBytes(Dest())) << "only the working file goes";
    EXPECT_TRUE(recorder_.Events().empty()) << "no network work, no events before Start";
}

// Certificate checks cannot be observed under Wine, whose Schannel accepts any
// certificate with libcurl's default (automatic) validation: the source is checked.
TEST(CurlClientSource, LeavesCertificateChecksAtLibraryDefaults)
{
    const std::string client = TestKit::ReadBytes(L"Z:" ZORVA_SOURCE_DIR L"/src/download/curl_client.cpp");
    const std::string downloader = TestKit::ReadBytes(L"Z:" ZORVA_SOURCE_DIR L"/src/download/curl_downloader.cpp");
    ASSERT_FALSE(client.empty());
    ASSERT_FALSE(downloader.empty());
    EXPECT_EQ(std::string::npos, client.find("SSL_VERIFY"));
    EXPECT_EQ(std::string::npos, downloader.find("SSL_VERIFY"));
    EXPECT_NE(std::string::npos, client.find("CURLOPT_BUFFERSIZE, CurlSupport::kStreamReceiveBufferBytes"));
    EXPECT_NE(std::string::npos, downloader.find("CurlSupport::EnsureGlobalInit();"));
}

TEST_F(CurlDownloaderTest, BlockedDestinationIsNoSuccess)
{
    // A folder where the package should go: the rename fails, and no attempt
    // may report a package that is not there.
    const auto package = TestKit::MakePackageUnder(servers_, kSize, 7190, "ab");
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(::CreateDirectoryW(Dest().c_str(), nullptr));
    ASSERT_TRUE(RunToEnd(60000));
    const auto codes = recorder_.CodesWithoutProgress();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(DL_CODE_START, codes.front());
    EXPECT_EQ(DL_CODE_FAIL, codes.back());
    EXPECT_EQ(codes.end(), std::find(codes.begin(), codes.end(), DL_CODE_SUCCESS));
}

TEST_F(CurlDownloaderTest, ProbeOfAServerThatNeverAnswersEnds)
{
    // The first probe meets a server that would stay silent for 60 s: it gives
    // up, the next probe finds the package, and the download completes.
    const auto package = TestKit::MakePackage(servers_, kSize, 7191);
    const std::string path = "/mutefirst/1/60" + package.Rel();
    ASSERT_TRUE(servers_.Reset(path));
    Make(servers_.Fault(path));
    const DWORD before = ::GetTickCount();
    ASSERT_TRUE(RunToEnd(60000));
    EXPECT_LT(::GetTickCount() - before, 30000u);
    EXPECT_EQ(DL_CODE_SUCCESS, recorder_.CodesWithoutProgress().back());
    ExpectDestinationHolds(package);
}
