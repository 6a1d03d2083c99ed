// Each behaviour of the test servers once, through libcurl as the downloaders
// use it, so a broken server shows up here and not as a downloader bug.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "packages.h"
#include "servers.h"

namespace {

struct Reply {
    CURLcode code = CURLE_OK;
    long status = 0;
    curl_off_t length = -1; // Content-Length as announced
    std::string body;
    std::string headers;
};

size_t Append(char* data, size_t size, size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

Reply Fetch(const std::string& url, const std::function<void(CURL*)>& setUp = {})
{
    static const bool init = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    EXPECT_TRUE(init);
    Reply reply;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 15L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    if (setUp) {
        setUp(curl);
    }
    reply.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &reply.length);
    curl_easy_cleanup(curl);
    return reply;
}

void Head(CURL* curl) { curl_easy_setopt(curl, CURLOPT_NOBODY, 1L); }

std::function<void(CURL*)> Range(const char* range)
{
    return [range](CURL* curl) { curl_easy_setopt(curl, CURLOPT_RANGE, range); };
}

void Follow(CURL* curl)
{
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
}

constexpr size_t kSize = 100000;

class ServersSmoke : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(servers.Ok());
        package = TestKit::MakePackage(servers, kSize, 7);
        ASSERT_EQ(kSize, package.bytes.size());
    }

    TestKit::Servers servers;
    TestKit::Package package;
};

TEST_F(ServersSmoke, NginxHeadAnnouncesTheLength)
{
    Reply r = Fetch(servers.Nginx(package.Rel()), Head);
    EXPECT_EQ(CURLE_OK, r.code);
    EXPECT_EQ(200, r.status);
    EXPECT_EQ(static_cast<curl_off_t>(kSize), r.length);
    EXPECT_TRUE(r.body.empty());
}

TEST_F(ServersSmoke, NginxServesARange)
{
    Reply r = Fetch(servers.Nginx(package.Rel()), Range("10-19"));
    EXPECT_EQ(CURLE_OK, r.code);
    EXPECT_EQ(206, r.status);
    EXPECT_EQ(package.bytes.substr(10, 10), r.body);
    EXPECT_NE(std::string::npos, r.headers.find("Content-Range: bytes 10-19/100000"));
}

TEST_F(ServersSmoke, NginxRedirectLeadsIntoTheMd5Folder)
{
    Reply plain = Fetch(servers.Nginx("/r" + package.Rel()));
    EXPECT_EQ(302, plain.status);
    EXPECT_NE(std::string::npos, plain.headers.find(package.Rel()));
    Reply followed = Fetch(servers.Nginx("/r" + package.Rel()), Follow);
    EXPECT_EQ(CURLE_OK, followed.code);
    EXPECT_EQ(200, followed.status);
    EXPECT_TRUE(followed.body == package.bytes);
}

TEST_F(ServersSmoke, NginxRateLimitedTransferCompletes)
{
    // 100000 bytes at 400000 B/s: a quarter of a second.
    Reply r = Fetch(servers.Nginx("/rate/400000" + package.Rel()));
    EXPECT_EQ(CURLE_OK, r.code);
    EXPECT_EQ(200, r.status);
    EXPECT_TRUE(r.body == package.bytes);
}

TEST_F(ServersSmoke, FaultOkServesWholeAndRanges)
{
    Reply whole = Fetch(servers.Fault("/ok" + package.Rel()));
    EXPECT_EQ(CURLE_OK, whole.code);
    EXPECT_EQ(200, whole.status);
    EXPECT_TRUE(whole.body == package.bytes);
    Reply tail = Fetch(servers.Fault("/ok" + package.Rel()), Range("99990-"));
    EXPECT_EQ(206, tail.status);
    EXPECT_EQ(package.bytes.substr(99990), tail.body);
    EXPECT_NE(std::string::npos, tail.headers.find("Content-Range: bytes 99990-99999/100000"));
    Reply head = Fetch(servers.Fault("/ok" + package.Rel()), Head);
    EXPECT_EQ(200, head.status);
    EXPECT_EQ(static_cast<curl_off_t>(kSize), head.length);
}

TEST_F(ServersSmoke, DropEndsThePartialBody)
{
    Reply r = Fetch(servers.Fault("/drop/1000" + package.Rel()));
    EXPECT_EQ(CURLE_PARTIAL_FILE, r.code);
    EXPECT_EQ(package.bytes.substr(0, 1000), r.body);
    Reply head = Fetch(servers.Fault("/drop/1000" + package.Rel()), Head);
    EXPECT_EQ(CURLE_OK, head.code);
    EXPECT_EQ(static_cast<curl_off_t>(kSize), head.length);
}

TEST_F(ServersSmoke, DropFirstThenServes)
{
    const std::string path = "/dropfirst/1/1000" + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    EXPECT_EQ(CURLE_PARTIAL_FILE, Fetch(servers.Fault(path)).code);
    Reply second = Fetch(servers.Fault(path));
    EXPECT_EQ(CURLE_OK, second.code);
    EXPECT_TRUE(second.body == package.bytes);
}

TEST_F(ServersSmoke, StallTripsTheLowSpeedLimit)
{
    // libcurl averages the speed over its last seconds, so bytes before the
    // stall would keep 1 B/s satisfied: this stall sends none.
    Reply r = Fetch(servers.Fault("/stall/3/0" + package.Rel()), [](CURL* curl) {
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 2L);
    });
    EXPECT_EQ(CURLE_OPERATION_TIMEDOUT, r.code);
    EXPECT_TRUE(r.body.empty());
}

TEST_F(ServersSmoke, StallFirstAfterSomeBytesThenServes)
{
    // With 1000 bytes already in, libcurl may need a second to see the speed
    // drop before its 2 s count begins: the stall outlasts both.
    const std::string path = "/stallfirst/1/6/1000" + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    auto slow = [](CURL* curl) {
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 100000L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 2L);
    };
    Reply first = Fetch(servers.Fault(path), slow);
    EXPECT_EQ(CURLE_OPERATION_TIMEDOUT, first.code);
    EXPECT_EQ(package.bytes.substr(0, 1000), first.body);
    Reply second = Fetch(servers.Fault(path), slow);
    EXPECT_EQ(CURLE_OK, second.code);
    EXPECT_TRUE(second.body == package.bytes);
}

TEST_F(ServersSmoke, StatusFailsTheTransfer)
{
    Reply r = Fetch(servers.Fault("/status/404" + package.Rel()),
                    [](CURL* curl) { curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L); });
    EXPECT_EQ(CURLE_HTTP_RETURNED_ERROR, r.code);
    EXPECT_EQ(404, r.status);
    EXPECT_EQ(404, Fetch(servers.Fault("/status/404" + package.Rel()), Head).status);
    EXPECT_EQ(500, Fetch(servers.Fault("/status/500" + package.Rel())).status);
}

TEST_F(ServersSmoke, BadLengthAnnouncesAnotherSize)
{
    const std::string longer = "/badlen/" + std::to_string(kSize + 1000) + package.Rel();
    EXPECT_EQ(static_cast<curl_off_t>(kSize + 1000), Fetch(servers.Fault(longer), Head).length);
    Reply r = Fetch(servers.Fault(longer));
    EXPECT_EQ(CURLE_PARTIAL_FILE, r.code);
    EXPECT_TRUE(r.body == package.bytes);
    // Fewer bytes announced: libcurl stops there and calls it a success.
    Reply shorter = Fetch(servers.Fault("/badlen/500" + package.Rel()));
    EXPECT_EQ(CURLE_OK, shorter.code);
    EXPECT_EQ(package.bytes.substr(0, 500), shorter.body);
}

TEST_F(ServersSmoke, RedirectsLoopOrLeadToOk)
{
    EXPECT_EQ(CURLE_TOO_MANY_REDIRECTS, Fetch(servers.Fault("/loop" + package.Rel()), Follow).code);
    Reply r = Fetch(servers.Fault("/redirect" + package.Rel()), Follow);
    EXPECT_EQ(CURLE_OK, r.code);
    EXPECT_EQ(200, r.status);
    EXPECT_TRUE(r.body == package.bytes);
}

TEST_F(ServersSmoke, NoRangeAnswersWhole)
{
    Reply r = Fetch(servers.Fault("/norange" + package.Rel()), Range("10-19"));
    EXPECT_EQ(CURLE_OK, r.code);
    EXPECT_EQ(200, r.status);
    EXPECT_TRUE(r.body == package.bytes);
}

TEST_F(ServersSmoke, LengthLiesOnlyToHead)
{
    EXPECT_EQ(7, Fetch(servers.Fault("/length/7" + package.Rel()), Head).length);
    Reply r = Fetch(servers.Fault("/length/7" + package.Rel()));
    EXPECT_EQ(CURLE_OK, r.code);
    EXPECT_TRUE(r.body == package.bytes);
}

TEST_F(ServersSmoke, StatsCountRequestsAndRanges)
{
    const std::string path = "/count" + package.Rel();
    ASSERT_TRUE(servers.Reset(path));
    Fetch(servers.Fault(path), Head);
    Fetch(servers.Fault(path));
    Fetch(servers.Fault(path), Range("10-19"));
    TestKit::FaultStats stats = servers.Stats(path);
    EXPECT_EQ(1, stats.heads);
    EXPECT_EQ(2, stats.gets);
    ASSERT_EQ(2u, stats.ranges.size());
    EXPECT_EQ("", stats.ranges[0]);
    EXPECT_EQ("bytes=10-19", stats.ranges[1]);
}

TEST_F(ServersSmoke, WrongFolderHoldsBytesOfAnotherChecksum)
{
    TestKit::Package wrong = TestKit::MakePackageUnder(servers, 1000, 9, "0123456789abcdef0123456789abcdef");
    EXPECT_EQ("/0123456789abcdef0123456789abcdef/pkg-1000-9.exe", wrong.Rel());
    EXPECT_NE(wrong.dir, wrong.md5);
    Reply r = Fetch(servers.Nginx(wrong.Rel()));
    EXPECT_EQ(200, r.status);
    EXPECT_TRUE(r.body == wrong.bytes);
}

TEST_F(ServersSmoke, NamesOutsideAsciiTravelEscaped)
{
    TestKit::Package named = TestKit::MakePackage(servers, 1000, 11, "\xd0\xbf\xd0\xb0\xd0\xba\xd0\xb5\xd1\x82 1.exe");
    const std::string rel = TestKit::EscapePath(named.Rel());
    EXPECT_NE(std::string::npos, rel.find("/%D0%BF%D0%B0%D0%BA%D0%B5%D1%82%201.exe"));
    Reply plain = Fetch(servers.Nginx(rel));
    EXPECT_EQ(200, plain.status);
    EXPECT_TRUE(plain.body == named.bytes);
    Reply redirected = Fetch(servers.Nginx("/r" + rel), Follow);
    EXPECT_EQ(200, redirected.status);
    EXPECT_TRUE(redirected.body == named.bytes);
    // The fault server counts under the decoded path.
    ASSERT_TRUE(servers.Reset("/ok" + named.Rel()));
    Reply fault = Fetch(servers.Fault("/redirect" + rel), Follow);
    EXPECT_EQ(200, fault.status);
    EXPECT_TRUE(fault.body == named.bytes);
    EXPECT_EQ(1, servers.Stats("/ok" + named.Rel()).gets);
}

} // namespace
