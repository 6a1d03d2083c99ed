// The ranged downloader: its split rule and part writer alone, then whole
// downloads against the local nginx and fault servers.
#include "mt_curl_downloader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "curl_support.h"
#include "debug_capture.h"
#include "event_recorder.h"
#include "files.h"
#include "packages.h"
#include "servers.h"
#include "temp_dir.h"
#include "text.h"

namespace {

constexpr int32_t kOneMiB = 1048576;
constexpr int32_t kTwentyMiB = 20971520;

// ---- split rule ------------------------------------------------------------

TEST(MtCurlSplit, OneRangeBelowTwentyMiB)
{
    for (int32_t length : {256, kOneMiB - 1, 10485760, kTwentyMiB - 1}) {
        const auto ranges = SplitLength(length);
        ASSERT_EQ(1u, ranges.size()) << length;
        EXPECT_EQ(0, ranges[0].first);
        EXPECT_EQ(length - 1, ranges[0].last);
    }
}

TEST(MtCurlSplit, TwoRangesFromTwentyMiB)
{
    auto ranges = SplitLength(kTwentyMiB);
    ASSERT_EQ(2u, ranges.size());
    EXPECT_EQ(0, ranges[0].first);
    EXPECT_EQ(10485759, ranges[0].last);
    EXPECT_EQ(10485760, ranges[1].first);
    EXPECT_EQ(20971519, ranges[1].last);

    // An odd length: the last range takes the remainder, one byte more.
    ranges = SplitLength(kTwentyMiB + 1);
    ASSERT_EQ(2u, ranges.size());
    EXPECT_EQ(10485759, ranges[0].last);
    EXPECT_EQ(10485760, ranges[1].first);
    EXPECT_EQ(20971520, ranges[1].last);
    EXPECT_EQ(ranges[0].last - ranges[0].first + 2, ranges[1].last - ranges[1].first + 1);

    // Never more than two, however long.
    ranges = SplitLength(2147483647);
    ASSERT_EQ(2u, ranges.size());
    EXPECT_EQ(1073741822, ranges[0].last);
    EXPECT_EQ(2147483646, ranges[1].last);
}

TEST(MtCurlSplit, NothingForNoLength) { EXPECT_TRUE(SplitLength(0).empty()); }

// ---- part writer -----------------------------------------------------------

class MtCurlPartWriter : public ::testing::Test {
protected:
    // A part for positions first..last whose file is open for appending.
    void Open(int32_t first, int32_t last)
    {
        part.partPath = dir / L"pkg.exe_1";
        ASSERT_TRUE(part.file.Open(part.partPath, L"ab+"));
        part.nextOffset = first;
        part.lastOffset = last;
    }
    std::string Stored()
    {
        part.file.Close();
        return TestKit::ReadBytes(part.partPath);
    }

    TestKit::TempDir dir;
    DownloadPartNode part;
    const std::string bytes = TestKit::RandomBytes(300, 1);
};

TEST_F(MtCurlPartWriter, ChunkOneByteShortOfTheEndThenOneByteCompletesThePart)
{
    Open(100, 199);
    EXPECT_EQ(99u, WritePartChunk(part, bytes.data(), 99, 206));
    EXPECT_EQ(199, part.nextOffset);
    EXPECT_FALSE(part.Complete());
    EXPECT_EQ(1u, WritePartChunk(part, bytes.data() + 99, 1, 206));
    EXPECT_EQ(200, part.nextOffset);
    EXPECT_TRUE(part.Complete());
    EXPECT_EQ(100, part.received.load());
    EXPECT_EQ(bytes.substr(0, 100), Stored());
}

TEST_F(MtCurlPartWriter, StoresOnlyWhatTheRangeHolds)
{
    Open(0, 99);
    EXPECT_EQ(100u, WritePartChunk(part, bytes.data(), 150, 206)) << "a short count aborts the transfer";
    EXPECT_TRUE(part.Complete());
    EXPECT_EQ(0u, WritePartChunk(part, bytes.data(), 10, 206)) << "a complete part takes nothing more";
    EXPECT_EQ(100, part.received.load());
    EXPECT_EQ(bytes.substr(0, 100), Stored());
}

TEST_F(MtCurlPartWriter, RefusesAWholeBodyAnswerForARangeAwayFromByteZero)
{
    Open(100, 199);
    EXPECT_EQ(0u, WritePartChunk(part, bytes.data(), 100, 200));
    EXPECT_EQ(100, part.nextOffset);
    EXPECT_EQ(0, part.received.load());
    EXPECT_EQ("", Stored());
}

TEST_F(MtCurlPartWriter, TakesAWholeBodyAnswerForARangeFromByteZero)
{
    Open(0, 99);
    EXPECT_EQ(60u, WritePartChunk(part, bytes.data(), 60, 200));
    EXPECT_EQ(40u, WritePartChunk(part, bytes.data() + 60, 60, 200));
    EXPECT_EQ(bytes.substr(0, 100), Stored());
}

TEST_F(MtCurlPartWriter, LooksAtTheStatusOnlyOnTheFirstWriteOfATransfer)
{
    Open(100, 199);
    EXPECT_EQ(10u, WritePartChunk(part, bytes.data(), 10, 206));
    EXPECT_EQ(10u, WritePartChunk(part, bytes.data() + 10, 10, 200)) << "later writes do not look again";
    // The next transfer starts with the check pending again.
    part.statusChecked = false;
    EXPECT_EQ(0u, WritePartChunk(part, bytes.data() + 20, 10, 200));
    EXPECT_EQ(bytes.substr(0, 20), Stored());
}

TEST_F(MtCurlPartWriter, ResumedPartCountsItsFileAndAppends)
{
    ASSERT_TRUE(TestKit::WriteBytes(dir / L"pkg.exe_1", bytes.substr(0, 30)));
    Open(130, 199); // the range starts at 100; 30 bytes are in the file
    part.received = 30;
    EXPECT_EQ(70u, WritePartChunk(part, bytes.data() + 30, 70, 206));
    EXPECT_EQ(100, part.received.load());
    EXPECT_EQ(bytes.substr(0, 100), Stored());
}

TEST_F(MtCurlPartWriter, HookWithoutPartOrFileWritesNothing)
{
    char data[4] = {1, 2, 3, 4};
    EXPECT_EQ(0u, PartWriter(data, 1, 4, nullptr));
    part.nextOffset = 0;
    part.lastOffset = 99;
    EXPECT_EQ(0u, PartWriter(data, 1, 4, &part)) << "no part file open";
    // With a file and a handle that has had no answer (status 0) the hook stores.
    Open(0, 99);
    part.handle.reset(curl_easy_init());
    ASSERT_TRUE(part.handle);
    EXPECT_EQ(4u, PartWriter(data, 2, 2, &part));
    EXPECT_EQ(std::string(data, 4), Stored());
}

// ---- construction ----------------------------------------------------------

TEST(MtCurlConstruction, DeletesTheDestinationAndBothPartFiles)
{
    TestKit::TempDir dir;
    // A folder outside the ANSI code page of the default (en-US) prefix.
    const std::wstring folder = dir / L"Тест-测试";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring dest = folder + L"\\pkg.exe";
    for (const auto& path : {dest, dest + L"_0", dest + L"_1", dest + L"_2"}) {
        ASSERT_TRUE(TestKit::WriteBytes(path, "old"));
    }
    TestKit::EventRecorder recorder(TestKit::IsFinalDownloadCode);
    {
        CMTCurlDownloader downloader(recorder.Callback(), L"http://127.0.0.1:1/x/pkg.exe", dest);
        EXPECT_EQ(-1, LocalFile::Size(dest));
        EXPECT_EQ(-1, LocalFile::Size(dest + L"_0"));
        EXPECT_EQ(-1, LocalFile::Size(dest + L"_1"));
        EXPECT_EQ(3, LocalFile::Size(dest + L"_2")) << "only the two part files are its own";
    }
    EXPECT_TRUE(recorder.Events().empty()) << "construction does no network work";
}

// ---- libcurl options ------------------------------------------------------

// Wine's Schannel accepts any certificate under libcurl's default validation,
// so the checks cannot be observed in a transfer: the source is read instead.
TEST(MtCurlSource, LeavesCertificateChecksOnAndAsksForTheLargeBuffer)
{
    const std::string source = TestKit::ReadBytes(L"Z:" ZORVA_SOURCE_DIR L"/src/download/mt_curl_downloader.cpp");
    ASSERT_FALSE(source.empty());
    EXPECT_EQ(std::string::npos, source.find("SSL_VERIFY"));
    EXPECT_NE(std::string::npos, source.find("CURLOPT_BUFFERSIZE, CurlSupport::kPartReceiveBufferBytes"));
    EXPECT_NE(std::string::npos, source.find("CurlSupport::EnsureGlobalInit();"));
    EXPECT_EQ(102400, CurlSupport::kPartReceiveBufferBytes);
}

// ---- whole downloads -------------------------------------------------------

struct Expected {
    int32_t code;
    double value;
    std::wstring text;
};

std::wstring Describe(const std::vector<TestKit::Event>& events)
{
    std::wstring out;
    for (const auto& e : events) {
        out += std::to_wstring(e.code) + L"(" + std::to_wstring(e.value) + L",\"" + e.text + L"\") ";
    }
    return out;
}

// Every event but progress, exactly; progress: empty text, never above 1.0,
// growing by at least one point each time, also across a retry after a part
// failure (the reported percent survives it). A join starts the count again,
// so after a checksum note (1006) progress may start low.
void ExpectEvents(const std::vector<TestKit::Event>& events, const std::vector<Expected>& expected)
{
    std::vector<TestKit::Event> others;
    double last = 0.0;
    for (const auto& e : events) {
        if (e.code == 1006) {
            last = 0.0;
        }
        if (e.code != 1002) {
            others.push_back(e);
            continue;
        }
        EXPECT_EQ(L"", e.text);
        EXPECT_LE(e.value, 1.0);
        EXPECT_GE(e.value - last, 0.01 - 1e-9) << "progress must grow by a point: " << Describe(events);
        last = e.value;
    }
    ASSERT_EQ(expected.size(), others.size()) << Describe(events);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].code, others[i].code) << i << ": " << Describe(events);
        EXPECT_EQ(expected[i].value, others[i].value) << i << ": " << Describe(events);
        EXPECT_EQ(expected[i].text, others[i].text) << i << ": " << Describe(events);
    }
}

std::vector<std::wstring> Listing(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") {
                names.push_back(name);
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Whether a log line with this function name carries a message starting so.
bool Logged(const std::vector<std::wstring>& lines, const std::wstring& function, const std::wstring& message)
{
    for (const auto& line : lines) {
        const size_t at = line.find(L"(" + function + L")<");
        if (at == std::wstring::npos) {
            continue;
        }
        const size_t colon = line.find(L">: ", at);
        if (colon != std::wstring::npos && line.compare(colon + 3, message.size(), message) == 0) {
            return true;
        }
    }
    return false;
}

const Expected kStart{1001, 1.0, L""};
const Expected kSuccess{1003, 0.0, L"LibCurl"};
const Expected kProbeFailed{1004, 0.0, L"LibCurl"};
const Expected kMd5Missing{1006, 0.0, L"mtcurl获取url-md5失败"};
const Expected kMd5Mismatch{1006, 0.0, L"mtcurl文件md5校验失败"};

class MtCurlDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The servers are on loopback; a proxy of the environment must not get in between.
        for (const char* name : {"http_proxy=", "HTTP_PROXY=", "all_proxy=", "ALL_PROXY="}) {
            _putenv(name);
        }
        ASSERT_TRUE(servers.Ok());
    }

    // Runs one download as the orchestrator would: Start, and Start again
    // from inside the callback of 1005 (after `onRetry`, when set). The
    // callback runs on the waiter thread, so it only records; the checks
    // happen here.
    std::vector<TestKit::Event> Download(const std::wstring& url, const std::wstring& dest,
                                         const std::function<void()>& onRetry = {})
    {
        TestKit::EventRecorder recorder(TestKit::IsFinalDownloadCode);
        CMTCurlDownloader* downloader = nullptr;
        std::atomic<DWORD> restartMs{0};
        recorder.SetOnEvent([&](const TestKit::Event& e) {
            if (e.code != 1005) {
                return;
            }
            if (onRetry) {
                onRetry();
            }
            const DWORD before = ::GetTickCount();
            downloader->Start();
            restartMs = ::GetTickCount() - before;
        });
        {
            CMTCurlDownloader d(recorder.Callback(), url, dest);
            downloader = &d;
            d.Start();
            EXPECT_TRUE(recorder.WaitFinal(100000)) << "no final event";
        }
        EXPECT_LT(restartMs.load(), 1000u) << "Start from the callback of 1005 must not block";
        const auto events = recorder.Events();
        for (size_t i = 0; i + 1 < events.size(); ++i) {
            if (events[i].code == 1005) {
                EXPECT_EQ(1001, events[i + 1].code) << "the restart's attempt follows 1005";
                EXPECT_NE(events[i].threadId, events[i + 1].threadId) << "on a worker of its own";
            }
        }
        return events;
    }

    TestKit::Servers servers;
    TestKit::TempDir dir;
    TestKit::DebugCapture log;
};

TEST_F(MtCurlDownload, OneMiBLessOneByteFromNginxWithProgress)
{
    const auto package = TestKit::MakePackage(servers, kOneMiB - 1, 3001);
    const std::wstring dest = dir / L"pkg.exe";
    // About 3 s at this rate: progress has time to be reported.
    const DWORD before = ::GetTickCount();
    const auto events = Download(servers.NginxW("/rate/350000" + package.Rel()), dest);
    const DWORD seconds = (::GetTickCount() - before) / 1000;
    ExpectEvents(events, {kStart, kSuccess});
    size_t progress = 0;
    for (const auto& e : events) {
        progress += e.code == 1002 ? 1 : 0;
    }
    EXPECT_GE(progress, 1u);
    EXPECT_LE(progress, seconds + 1) << "at most once per second";
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    EXPECT_EQ(std::vector<std::wstring>{L"pkg.exe"}, Listing(dir.Path())) << "no working file left";

    const auto lines = log.Strings();
    EXPECT_TRUE(Logged(lines, L"CMTCurlDownloader::Start_Down", L"start download\r\n"));
    EXPECT_TRUE(Logged(lines, L"CMTCurlDownloader::getRealDownloadUrl",
                       L"Download File real url " + servers.NginxW("/rate/350000" + package.Rel()) + L"\r\n"));
    EXPECT_TRUE(Logged(lines, L"CMTCurlDownloader::getRealDownloadUrl", L"Download File Length 1048575\r\n"));
    EXPECT_TRUE(Logged(lines, L"CMTCurlDownloader::downloadExe", L"curl_easy_cleanup\r\n"));
    EXPECT_TRUE(Logged(lines, L"CMTCurlDownloader::waitForFinishThreadFun", L"finish recv\r\n"));
}

TEST_F(MtCurlDownload, TwentyMiBLessOneByteIsOneRange)
{
    const auto package = TestKit::MakePackage(servers, kTwentyMiB - 1, 3002);
    const std::string path = "/count" + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    const std::wstring dest = dir / L"pkg.exe";
    ExpectEvents(Download(servers.FaultW(path), dest), {kStart, kSuccess});
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    const auto stats = servers.Stats(path);
    EXPECT_EQ(1, stats.heads);
    EXPECT_EQ(1, stats.gets);
    EXPECT_EQ(std::vector<std::string>{"bytes=0-20971518"}, stats.ranges);
    EXPECT_EQ(std::vector<std::wstring>{L"pkg.exe"}, Listing(dir.Path()));
}

TEST_F(MtCurlDownload, TwentyMiBIsTwoRangesJoined)
{
    const auto package = TestKit::MakePackage(servers, kTwentyMiB, 3003);
    const std::string path = "/count" + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    const std::wstring dest = dir / L"pkg.exe";
    ExpectEvents(Download(servers.FaultW(path), dest), {kStart, kSuccess});
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    auto stats = servers.Stats(path);
    EXPECT_EQ(2, stats.gets);
    std::sort(stats.ranges.begin(), stats.ranges.end());
    EXPECT_EQ((std::vector<std::string>{"bytes=0-10485759", "bytes=10485760-20971519"}), stats.ranges);
    EXPECT_EQ(std::vector<std::wstring>{L"pkg.exe"}, Listing(dir.Path()));
    EXPECT_TRUE(Logged(log.Strings(), L"CMTCurlDownloader::waitForFinishThreadFun", L"partPath::" + dest + L"_1\r\n"));
}

TEST_F(MtCurlDownload, OddLengthGivesTheSecondRangeOneByteMore)
{
    const auto package = TestKit::MakePackage(servers, kTwentyMiB + 1, 3004);
    const std::string path = "/count" + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    const std::wstring dest = dir / L"pkg.exe";
    ExpectEvents(Download(servers.FaultW(path), dest), {kStart, kSuccess});
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    auto stats = servers.Stats(path);
    std::sort(stats.ranges.begin(), stats.ranges.end());
    EXPECT_EQ((std::vector<std::string>{"bytes=0-10485759", "bytes=10485760-20971520"}), stats.ranges);
}

TEST_F(MtCurlDownload, ChecksumComesFromTheAddressAfterRedirects)
{
    const auto package = TestKit::MakePackage(servers, kOneMiB, 3005);
    // The configured address carries no checksum ("%2F" is no separator for
    // the downloader); the fault server decodes it and redirects to
    // /ok/<md5>/<name>, which does.
    const std::string configured = "/redirect/" + package.md5 + "%2F" + package.name;
    const std::wstring dest = dir / L"pkg.exe";
    ExpectEvents(Download(servers.FaultW(configured), dest), {kStart, kSuccess});
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    EXPECT_TRUE(Logged(log.Strings(), L"CMTCurlDownloader::getRealDownloadUrl",
                       L"Download File real url " + servers.FaultW("/ok" + package.Rel()) + L"\r\n"));
}

TEST_F(MtCurlDownload, NoChecksumInTheAddressIsNotedAndAccepted)
{
    const auto package = TestKit::MakePackageUnder(servers, kOneMiB, 3006, "ab");
    const std::wstring dest = dir / L"pkg.exe";
    ExpectEvents(Download(servers.NginxW(package.Rel()), dest), {kStart, kMd5Missing, kSuccess});
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    EXPECT_EQ(std::vector<std::wstring>{L"pkg.exe"}, Listing(dir.Path()));
}

TEST_F(MtCurlDownload, MismatchRetriesOnceFromTheCallbackThenFails)
{
    const auto package = TestKit::MakePackageUnder(servers, kTwentyMiB, 3007, "0123456789abcdef0123456789abcdef");
    const std::string path = "/count" + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    const std::wstring dest = dir / L"pkg.exe";
    const auto events = Download(servers.FaultW(path), dest);
    ExpectEvents(events, {kStart, kMd5Mismatch, {1005, 0.0, L"LibCurl"}, kStart, kMd5Mismatch, {1004, 0.0, L"LibCurl"}});
    EXPECT_TRUE(Listing(dir.Path()).empty()) << "destination and part files are gone";

    // The second attempt came from the callback of 1005 and fetched everything again.
    auto stats = servers.Stats(path);
    EXPECT_EQ(1, stats.heads) << "the probe's findings survive the attempt";
    EXPECT_EQ(4, stats.gets);
    std::sort(stats.ranges.begin(), stats.ranges.end());
    EXPECT_EQ((std::vector<std::string>{"bytes=0-10485759", "bytes=0-10485759", "bytes=10485760-20971519",
                                        "bytes=10485760-20971519"}),
              stats.ranges);
    const auto lines = log.Strings();
    EXPECT_TRUE(Logged(lines, L"CMTCurlDownloader::waitForFinishThreadFun", L"finish recv, md5 chaek failed retry once.\r\n"));
    EXPECT_TRUE(Logged(lines, L"CMTCurlDownloader::waitForFinishThreadFun",
                       L"finish recv, md5 chaek failed and retry failed.\r\n"));
}

TEST_F(MtCurlDownload, ProbeFailuresEndAtOnceWithoutATransfer)
{
    const auto package = TestKit::MakePackage(servers, 255, 3008);
    const std::string cases[] = {
        "/status/404" + package.Rel(),
        "/count" + package.Rel(),                   // 255 bytes
        "/length/2147483648" + package.Rel(),       // 2 GiB
        "/length/4294968296" + package.Rel(),       // 4 GiB + 1000: would wrap to 1000
    };
    for (const auto& path : cases) {
        ASSERT_TRUE(servers.Reset(path));
        const std::wstring dest = dir / L"pkg.exe";
        const DWORD before = ::GetTickCount();
        ExpectEvents(Download(servers.FaultW(path), dest), {kStart, kProbeFailed});
        EXPECT_LT(::GetTickCount() - before, 3000u) << "no retry: " << path;
        const auto stats = servers.Stats(path);
        EXPECT_EQ(1, stats.heads) << path;
        EXPECT_EQ(0, stats.gets) << path;
        EXPECT_TRUE(Listing(dir.Path()).empty()) << path;
    }
}

TEST_F(MtCurlDownload, TwoHundredFiftySixBytesAreEnough)
{
    const auto package = TestKit::MakePackage(servers, 256, 3009);
    const std::wstring dest = dir / L"pkg.exe";
    ExpectEvents(Download(servers.NginxW(package.Rel()), dest), {kStart, kSuccess});
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
}

// A package of 20971523 bytes: part 0 holds 0..10485760 (13 x 806597 bytes),
// part 1 10485761..20971522, one byte more. Every GET of /drop/806597/ ends
// after 806597 bytes, so part 0 completes on its 13th transfer while part 1
// spends its budget (13 partial-file errors) one byte short.
constexpr int32_t kDropLength = 20971523;
constexpr int32_t kDropCut = 806597;

TEST_F(MtCurlDownload, DroppedPartResumesFromItsFileAfterTheRetry)
{
    const auto package = TestKit::MakePackage(servers, kDropLength, 3010);
    const std::string path = "/drop/" + std::to_string(kDropCut) + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    const std::wstring dest = dir / L"pkg.exe";
    int64_t part0 = -1, part1 = -1;
    int getsBeforeRetry = -1;
    const auto events = Download(servers.FaultW(path), dest, [&] {
        part0 = LocalFile::Size(dest + L"_0");
        part1 = LocalFile::Size(dest + L"_1");
        getsBeforeRetry = servers.Stats(path).gets;
    });
    ExpectEvents(events, {kStart, {1005, 18.0, L"LibCurl"}, kStart, kSuccess});
    EXPECT_EQ(10485761, part0) << "part 0 complete";
    EXPECT_EQ(10485761, part1) << "part 1 one byte short";
    EXPECT_EQ(26, getsBeforeRetry);
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    EXPECT_EQ(std::vector<std::wstring>{L"pkg.exe"}, Listing(dir.Path()));

    const auto stats = servers.Stats(path);
    EXPECT_EQ(1, stats.heads);
    ASSERT_EQ(27, stats.gets) << "one more GET: part 1's last byte";
    EXPECT_EQ("bytes=20971522-20971522", stats.ranges.back());
    int part0Gets = 0;
    for (const auto& range : stats.ranges) {
        part0Gets += range.size() > 9 && range.compare(range.size() - 9, 9, "-10485760") == 0 ? 1 : 0;
    }
    EXPECT_EQ(13, part0Gets) << "part 0 is not fetched again";

    const auto lines = log.Strings();
    EXPECT_TRUE(Logged(lines, L"CMTCurlDownloader::downloadThreadFun", L"CurlDownLoader Code=18\r\n"));
    EXPECT_TRUE(Logged(lines, L"CMTCurlDownloader::downloadExe", L"error:18:"));
}

TEST_F(MtCurlDownload, BothPartFilesCompleteAtTheRetryNeedNoTransfer)
{
    const auto package = TestKit::MakePackage(servers, kDropLength, 3011);
    const std::string path = "/drop/" + std::to_string(kDropCut) + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    const std::wstring dest = dir / L"pkg.exe";
    int getsBeforeRetry = -1;
    bool supplied = false;
    const auto events = Download(servers.FaultW(path), dest, [&] {
        // Part 1 lacks its last byte: supply it, so both files are complete.
        LocalFile::File f(dest + L"_1", L"ab");
        supplied = f && fputc(static_cast<unsigned char>(package.bytes.back()), f.Get()) != EOF;
        getsBeforeRetry = servers.Stats(path).gets;
    });
    EXPECT_TRUE(supplied);
    ExpectEvents(events, {kStart, {1005, 18.0, L"LibCurl"}, kStart, kSuccess});
    EXPECT_EQ(getsBeforeRetry, servers.Stats(path).gets) << "no GET in the second attempt";
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    EXPECT_EQ(std::vector<std::wstring>{L"pkg.exe"}, Listing(dir.Path()));
}

TEST_F(MtCurlDownload, PartFailingWithoutProgressStartsOverThenFails)
{
    // Every GET ends after its headers: 13 partial-file errors per attempt and
    // no progress, so no part file is kept for the retry.
    const auto package = TestKit::MakePackage(servers, kOneMiB, 3015);
    const std::string path = "/drop/0" + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    const std::wstring dest = dir / L"pkg.exe";
    int64_t partAtRetry = 0;
    const auto events = Download(servers.FaultW(path), dest, [&] { partAtRetry = LocalFile::Size(dest + L"_0"); });
    ExpectEvents(events, {kStart, {1005, 18.0, L"LibCurl"}, kStart, {1004, 18.0, L"LibCurl"}});
    EXPECT_EQ(-1, partAtRetry) << "no progress: the part file is deleted before 1005";
    EXPECT_TRUE(Listing(dir.Path()).empty());
    const auto stats = servers.Stats(path);
    EXPECT_EQ(1, stats.heads);
    EXPECT_EQ(26, stats.gets) << "13 transfers per attempt";
    EXPECT_EQ(std::vector<std::string>(26, "bytes=0-1048575"), stats.ranges);
}

TEST_F(MtCurlDownload, ServerIgnoringRangeNeverYieldsACorruptFile)
{
    // Two parts: part 0 gets the whole body and keeps its share (an exact
    // fit, complete despite the short-write abort); part 1 is refused every
    // 200 answer, 7 transfers per attempt.
    // No checksum in the address: the writer is the only defence.
    const auto package = TestKit::MakePackageUnder(servers, kTwentyMiB + 2, 3012, "ab");
    const std::string path = "/norange" + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    const std::wstring dest = dir / L"pkg.exe";
    const auto events = Download(servers.FaultW(path), dest);
    ExpectEvents(events, {kStart, {1005, 23.0, L"LibCurl"}, kStart, {1004, 23.0, L"LibCurl"}});
    EXPECT_EQ(-1, LocalFile::Size(dest));
    // Progress was reported (part 0 is half the package), so the part files
    // stay, holding only bytes of their own positions.
    EXPECT_TRUE(TestKit::ReadBytes(dest + L"_0") == package.bytes.substr(0, 10485761));
    EXPECT_EQ(0, LocalFile::Size(dest + L"_1"));
    // Part 0 completed on its first transfer and was not fetched again.
    const auto stats = servers.Stats(path);
    int part0Gets = 0, part1Gets = 0;
    for (const auto& range : stats.ranges) {
        part0Gets += range == "bytes=0-10485760" ? 1 : 0;
        part1Gets += range == "bytes=10485761-20971521" ? 1 : 0;
    }
    EXPECT_EQ(1, part0Gets);
    EXPECT_EQ(14, part1Gets) << "7 transfers in each attempt";
    EXPECT_EQ(15, stats.gets);
    EXPECT_TRUE(Logged(log.Strings(), L"CMTCurlDownloader::downloadThreadFun", L"CurlDownLoader Code=23\r\n"));

    // One part starting at byte 0: the whole body is exactly the range.
    const auto small = TestKit::MakePackage(servers, kOneMiB, 3012);
    const std::wstring smallDest = dir / L"small.exe";
    ExpectEvents(Download(servers.FaultW("/norange" + small.Rel()), smallDest), {kStart, kSuccess});
    EXPECT_TRUE(TestKit::ReadBytes(smallDest) == small.bytes);
}

TEST_F(MtCurlDownload, DestinationFolderOutsideTheAnsiCodePage)
{
    const auto package = TestKit::MakePackage(servers, kTwentyMiB + 4, 3013);
    const std::wstring folder = dir / L"Загрузка-下载";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring dest = folder + L"\\pkg.exe";
    ExpectEvents(Download(servers.NginxW(package.Rel()), dest), {kStart, kSuccess});
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
    EXPECT_EQ(std::vector<std::wstring>{L"pkg.exe"}, Listing(folder));
}

TEST_F(MtCurlDownload, DestroyedRightAfterTheFinalEvent)
{
    const auto package = TestKit::MakePackage(servers, kOneMiB, 3014);
    const std::wstring dest = dir / L"pkg.exe";
    TestKit::EventRecorder recorder(TestKit::IsFinalDownloadCode);
    const EventCallback record = recorder.Callback();
    std::atomic<bool> finalReturned{false};
    // The waiter lingers in the callback of its final event after the test
    // has seen it: the downloader is destroyed meanwhile.
    EventCallback lingering = [&](int32_t code, double value, const std::wstring& text) {
        record(code, value, text);
        if (TestKit::IsFinalDownloadCode(code)) {
            ::Sleep(300);
            finalReturned = true;
        }
    };
    auto downloader = std::make_unique<CMTCurlDownloader>(lingering, servers.NginxW(package.Rel()), dest);
    downloader->Start();
    ASSERT_TRUE(recorder.WaitFinal(60000));
    downloader.reset();
    EXPECT_TRUE(finalReturned) << "destruction waits for the waiter thread";
    EXPECT_EQ(std::vector<int32_t>({1001, 1003}), recorder.CodesWithoutProgress());
    EXPECT_TRUE(TestKit::ReadBytes(dest) == package.bytes);
}

} // namespace

TEST_F(MtCurlDownload, BlockedDestinationIsNoSuccess)
{
    // A folder where the joined package should go (deleting a file does not
    // remove it): the rename fails, and the download must end in failure, not
    // in 1003 without a package.
    const auto package = TestKit::MakePackageUnder(servers, kOneMiB, 3090, "ab");
    const std::wstring dest = dir / L"pkg.exe";
    ASSERT_TRUE(::CreateDirectoryW(dest.c_str(), nullptr));
    std::vector<int32_t> codes;
    for (const auto& e : Download(servers.NginxW(package.Rel()), dest)) {
        if (e.code != DL_CODE_PROGRESS) {
            codes.push_back(e.code);
        }
    }
    EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_FAIL}), codes);
}

TEST_F(MtCurlDownload, ProbeOfAServerThatNeverAnswersEnds)
{
    // The server would stay silent for 60 s; the probe gives up long before.
    const auto package = TestKit::MakePackage(servers, 256, 3091);
    const std::string path = "/mute/60" + package.Rel();
    const DWORD before = ::GetTickCount();
    ExpectEvents(Download(servers.FaultW(path), dir / L"pkg.exe"), {kStart, kProbeFailed});
    EXPECT_LT(::GetTickCount() - before, 30000u);
}
