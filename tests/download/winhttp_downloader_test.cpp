// The WinHTTP client and downloader against nginx and the fault server.
#include "winhttp_downloader.h"

#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "event_recorder.h"
#include "files.h"
#include "md5.h"
#include "packages.h"
#include "servers.h"
#include "temp_dir.h"
#include "text.h"

namespace {

using TestKit::Event;

constexpr DWORD kWaitMs = 20000;
constexpr size_t kSize = 1536 * 1024 + 7;
const std::string kNowhere = "http://pelnix-nowhere.invalid";

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Describe(int32_t code, double value, const std::wstring& text)
{
    char number[32];
    std::snprintf(number, sizeof(number), "%g", value);
    return std::to_string(code) + " " + number + " '" + Utils::UnicodeToUtf8(text) + "'";
}

std::vector<std::string> Milestones(const std::vector<Event>& events)
{
    std::vector<std::string> out;
    for (const auto& e : events) {
        if (e.code != DL_CODE_PROGRESS) {
            out.push_back(Describe(e.code, e.value, e.text));
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

// The fault server's proxied counter of a path (Servers::Stats does not read it).
int ProxiedCount(const TestKit::Servers& servers, const std::string& path)
{
    std::string body;
    if (!TestKit::HttpGet(servers.FaultPort(), "/__stats?format=text&path=" + TestKit::EscapePath(path), &body)) {
        ADD_FAILURE() << "no stats for " << path;
        return -1;
    }
    const size_t at = body.find("proxied=");
    if (at == std::string::npos) {
        ADD_FAILURE() << "the fault server reports no proxied counter:\n" << body;
        return -1;
    }
    return std::atoi(body.c_str() + at + 8);
}

const std::string kStart = Describe(DL_CODE_START, 1.0, L"");
const std::string kSuccess = Describe(DL_CODE_SUCCESS, 0.0, L"WinHttp");
const std::string kMissing = Describe(DL_CODE_VERIFY, 0.0, L"winhttp获取url-md5失败");
const std::string kMismatch = Describe(DL_CODE_VERIFY, 0.0, L"winhttp文件md5校验失败");
const std::string kRetry = Describe(DL_CODE_RETRY, 0.0, L"WinHttp");

class WinHttpDownloaderTest : public ::testing::Test {
protected:
    void TearDown() override { downloader_.reset(); }

    std::wstring Dest() const { return dir_ / L"__Package_Tarvelmoss Pelnix.exe"; }

    void Make(const std::wstring& url, const std::wstring& dest)
    {
        downloader_ = std::make_unique<WinHttpDownloader>(recorder_.Callback(), url, dest);
    }
    void Make(const std::string& url) { Make(Utils::Utf8ToUnicode(url), Dest()); }

    bool RunToEnd(DWORD timeoutMs = kWaitMs)
    {
        downloader_->Start();
        return recorder_.WaitFinal(timeoutMs);
    }

    void RestartOnRetry()
    {
        recorder_.SetOnEvent([this](const Event& e) {
            if (e.code == DL_CODE_RETRY) {
                downloader_->Start();
            }
        });
    }

    void ExpectDestinationHolds(const TestKit::Package& package)
    {
        const std::string got = TestKit::ReadBytes(Dest());
        EXPECT_EQ(package.bytes.size(), got.size());
        EXPECT_TRUE(got == package.bytes) << "the destination differs from the served file";
        EXPECT_EQ(package.md5, Utils::GetFileMD5(Dest()));
    }

    TestKit::Servers servers_;
    TestKit::TempDir dir_;
    TestKit::EventRecorder recorder_{TestKit::IsFinalDownloadCode};
    std::unique_ptr<WinHttpDownloader> downloader_;
};

using WinHttpClientTest = WinHttpDownloaderTest;

// The current user's Internet Settings of the prefix, replaced for one test
// and put back afterwards. Wine's WinHttpGetIEProxyConfigForCurrentUser reads
// only the Connections\DefaultConnectionSettings blob; Windows' dialogs also
// keep ProxyEnable/ProxyServer/ProxyOverride, so both are written.
class InternetSettingsOverride {
public:
    static constexpr DWORD kDirect = 1, kFixedProxy = 2, kScript = 4, kAutoDetect = 8;

    InternetSettingsOverride()
    {
        saved_.push_back(Save(kSettingsKey, L"ProxyEnable"));
        saved_.push_back(Save(kSettingsKey, L"ProxyServer"));
        saved_.push_back(Save(kSettingsKey, L"ProxyOverride"));
        saved_.push_back(Save(kConnectionsKey, L"DefaultConnectionSettings"));
    }
    ~InternetSettingsOverride()
    {
        for (const auto& value : saved_) {
            HKEY key = nullptr;
            if (::RegCreateKeyExW(HKEY_CURRENT_USER, value.key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr) != ERROR_SUCCESS) {
                continue;
            }
            if (value.present) {
                ::RegSetValueExW(key, value.name, 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                                 static_cast<DWORD>(value.data.size()));
            } else {
                ::RegDeleteValueW(key, value.name);
            }
            ::RegCloseKey(key);
        }
    }
    InternetSettingsOverride(const InternetSettingsOverride&) = delete;
    InternetSettingsOverride& operator=(const InternetSettingsOverride&) = delete;

    bool Apply(DWORD flags, const std::string& proxy, const std::string& bypass, const std::string& script = "")
    {
        std::vector<BYTE> blob;
        auto dword = [&blob](DWORD v) {
            for (int i = 0; i < 4; ++i) {
                blob.push_back(static_cast<BYTE>(v >> (8 * i)));
            }
        };
        auto text = [&](const std::string& s) {
            dword(static_cast<DWORD>(s.size()));
            blob.insert(blob.end(), s.begin(), s.end());
        };
        dword(0x46); // the layout's version
        dword(1);    // change counter
        dword(flags);
        text(proxy);
        text(bypass);
        text(script);
        blob.resize(blob.size() + 32, 0);
        const DWORD enable = (flags & kFixedProxy) ? 1 : 0;
        const std::wstring server = Utils::Utf8ToUnicode(proxy), override_ = Utils::Utf8ToUnicode(bypass);
        return Set(kSettingsKey, L"ProxyEnable", REG_DWORD, &enable, sizeof(enable)) &&
               Set(kSettingsKey, L"ProxyServer", REG_SZ, server.c_str(), (server.size() + 1) * sizeof(wchar_t)) &&
               Set(kSettingsKey, L"ProxyOverride", REG_SZ, override_.c_str(),
                   (override_.size() + 1) * sizeof(wchar_t)) &&
               Set(kConnectionsKey, L"DefaultConnectionSettings", REG_BINARY, blob.data(), blob.size());
    }

private:
    static constexpr wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    static constexpr wchar_t kConnectionsKey[] =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

    struct Saved {
        const wchar_t* key = nullptr;
        const wchar_t* name = nullptr;
        bool present = false;
        DWORD type = 0;
        std::vector<BYTE> data;
    };

    static Saved Save(const wchar_t* keyName, const wchar_t* name)
    {
        Saved value;
        value.key = keyName;
        value.name = name;
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, keyName, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return value;
        }
        DWORD size = 0;
        if (::RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
            value.data.resize(size);
            value.present = ::RegQueryValueExW(key, name, nullptr, &value.type,
                                               value.data.empty() ? nullptr : value.data.data(),
                                               &size) == ERROR_SUCCESS;
            value.data.resize(size);
        }
        ::RegCloseKey(key);
        return value;
    }

    static bool Set(const wchar_t* keyName, const wchar_t* name, DWORD type, const void* data, size_t size)
    {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
            return false;
        }
        const bool ok = ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data),
                                         static_cast<DWORD>(size)) == ERROR_SUCCESS;
        ::RegCloseKey(key);
        return ok;
    }

    std::vector<Saved> saved_;
};

using WinHttpInternetSettings = WinHttpDownloaderTest;

} // namespace

// --- the client ---------------------------------------------------------------

TEST_F(WinHttpClientTest, LowerCaseGetIsAccepted)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8101);
    const std::string path = "/count" + package.Rel();
    ASSERT_TRUE(servers_.Reset(path));
    WinHttpClient client(servers_.FaultW(path));
    EXPECT_EQ(L"WinHttpClient", client.userAgent);
    EXPECT_TRUE(client.requireValidCertificate);
    ASSERT_TRUE(client.PerformRequest(L"get")) << client.lastError;
    EXPECT_EQ(200u, client.StatusCode());
    EXPECT_EQ(static_cast<int64_t>(kSize), client.ContentLength());
    EXPECT_EQ(kSize, client.Received());
    EXPECT_EQ(L"127.0.0.1", client.host);
    const auto stats = servers_.Stats(path);
    EXPECT_EQ(1, stats.gets);
    EXPECT_EQ(0, stats.heads);
}

TEST_F(WinHttpClientTest, OtherVerbsNeverReachTheServer)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8102);
    const std::string path = "/count" + package.Rel();
    ASSERT_TRUE(servers_.Reset(path));
    WinHttpClient client(servers_.FaultW(path));
    for (const wchar_t* verb : {L"PUT", L"HEAD", L"", L"GETX"}) {
        client.lastError = 0;
        EXPECT_FALSE(client.PerformRequest(verb));
        EXPECT_EQ(87u, client.lastError);
    }
    EXPECT_FALSE(client.session) << "no network work at all";
    const auto stats = servers_.Stats(path);
    EXPECT_EQ(0, stats.gets);
    EXPECT_EQ(0, stats.heads);
}

TEST_F(WinHttpClientTest, EmptyAddressIsPathNotFound)
{
    WinHttpClient client(L"");
    EXPECT_FALSE(client.PerformRequest(L"GET"));
    EXPECT_EQ(3u, client.lastError);
}

TEST_F(WinHttpClientTest, PostIsSentUpperCase)
{
    // The fault server has no POST handler: its 501 proves the verb arrived as "POST".
    WinHttpClient client(servers_.FaultW("/ok/none"));
    ASSERT_TRUE(client.PerformRequest(L"pOsT")) << client.lastError;
    EXPECT_EQ(501u, client.StatusCode());
}

TEST_F(WinHttpClientTest, ErrorBodyIsAppendedAndCountsAsAResponse)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8103);
    WinHttpClient client(servers_.FaultW("/status/404" + package.Rel()));
    client.responseFile = Dest();
    ASSERT_TRUE(TestKit::WriteBytes(Dest(), "before;"));
    ASSERT_TRUE(client.PerformRequest(L"GET")) << client.lastError;
    EXPECT_EQ(404u, client.StatusCode());
    EXPECT_EQ("before;status 404\n", TestKit::ReadBytes(Dest()));
}

TEST_F(WinHttpClientTest, SessionIsKeptAndProgressSeesEveryChunk)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8104);
    WinHttpClient client(servers_.NginxW(package.Rel()));
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    client.progress = [&calls](uint64_t received, uint64_t total) { calls.emplace_back(received, total); };
    ASSERT_TRUE(client.PerformRequest(L"GET"));
    const HINTERNET first = client.session.Get();
    ASSERT_NE(nullptr, first);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(kSize, calls.back().first);
    for (const auto& call : calls) {
        EXPECT_EQ(kSize, call.second);
    }
    ASSERT_TRUE(client.PerformRequest(L"GET"));
    EXPECT_EQ(first, client.session.Get());
}

TEST_F(WinHttpClientTest, FaultServerServesAbsoluteTargetsAsAProxy)
{
    // The proxy tests' server side, through the one proxy form every WinHTTP honours.
    const auto package = TestKit::MakePackage(servers_, kSize, 8105);
    ASSERT_TRUE(servers_.Reset(package.Rel()));
    const std::wstring proxy = L"127.0.0.1:" + std::to_wstring(servers_.FaultPort());
    Utils::UniqueInternet session(
        ::WinHttpOpen(L"probe", WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
    WinHttpClient client(Utils::Utf8ToUnicode(kNowhere + package.Rel()));
    client.session = std::move(session);
    client.responseFile = Dest();
    ASSERT_TRUE(client.PerformRequest(L"GET")) << client.lastError;
    EXPECT_EQ(200u, client.StatusCode());
    EXPECT_EQ(1, ProxiedCount(servers_, package.Rel()));
    EXPECT_EQ(package.md5, Utils::GetFileMD5(Dest()));
}

// --- the downloader -----------------------------------------------------------

TEST_F(WinHttpDownloaderTest, CompleteDownloadMatchesItsMd5)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8201);
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(RunToEnd());
    const auto events = recorder_.Events();
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(events));
    for (const auto& e : events) {
        EXPECT_NE(::GetCurrentThreadId(), e.threadId) << "events come from the worker";
    }
    ExpectDestinationHolds(package);
}

TEST_F(WinHttpDownloaderTest, ProgressAtMostOnceASecond)
{
    const auto package = TestKit::MakePackage(servers_, 2560 * 1024, 8202);
    Make(servers_.Nginx("/rate/1048576" + package.Rel()));
    const ULONGLONG began = ::GetTickCount64();
    ASSERT_TRUE(RunToEnd());
    const ULONGLONG seconds = (::GetTickCount64() - began) / 1000;
    const auto events = recorder_.Events();
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(events));
    const int progress = ProgressCount(events);
    EXPECT_GE(progress, 2);
    EXPECT_LE(progress, static_cast<int>(seconds) + 1);
    double last = 0.0;
    for (const auto& e : events) {
        if (e.code == DL_CODE_PROGRESS) {
            EXPECT_GT(e.value, 0.0);
            EXPECT_LE(e.value, 1.0);
            EXPECT_GE(e.value, last);
            EXPECT_EQ(L"", e.text);
            last = e.value;
        }
    }
    ExpectDestinationHolds(package);
}

TEST_F(WinHttpDownloaderTest, NotFoundFailsWithTheStatusAndLeavesNoFile)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8203);
    Make(servers_.Fault("/status/404" + package.Rel()));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, Describe(DL_CODE_FAIL, 404.0, L"WinHttp")}),
              Milestones(recorder_.Events()));
    EXPECT_FALSE(Exists(Dest()));
}

TEST_F(WinHttpDownloaderTest, ExistingDestinationIsReplacedNotExtended)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8204);
    ASSERT_TRUE(TestKit::WriteBytes(Dest(), "an older package"));
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
}

TEST_F(WinHttpDownloaderTest, MismatchRetriesOnceFromTheCallbackThenFails)
{
    const auto package = TestKit::MakePackageUnder(servers_, kSize, 8205, "0123456789abcdef0123456789abcdef");
    RestartOnRetry();
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(RunToEnd());
    const auto events = recorder_.Events();
    EXPECT_EQ((std::vector<std::string>{kStart, kMismatch, kRetry, kStart, kMismatch,
                                        Describe(DL_CODE_FAIL, 0.0, L"WinHttp")}),
              Milestones(events));
    std::vector<DWORD> workers;
    for (const auto& e : events) {
        if (e.code == DL_CODE_START) {
            workers.push_back(e.threadId);
        }
    }
    ASSERT_EQ(2u, workers.size());
    EXPECT_NE(workers[0], workers[1]);
    // The mismatching file stays, as the curl downloader leaves it.
    EXPECT_TRUE(TestKit::ReadBytes(Dest()) == package.bytes);
}

TEST_F(WinHttpDownloaderTest, TwoCharacterFolderIsNoChecksum)
{
    const auto package = TestKit::MakePackageUnder(servers_, kSize, 8206, "ab");
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kMissing, kSuccess}), Milestones(recorder_.Events()));
    EXPECT_TRUE(TestKit::ReadBytes(Dest()) == package.bytes);
}

TEST_F(WinHttpDownloaderTest, DroppedConnectionFails)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8207);
    const std::string path = "/drop/100000" + package.Rel();
    ASSERT_TRUE(servers_.Reset(path));
    Make(servers_.Fault(path));
    ASSERT_TRUE(RunToEnd());
    const auto milestones = Milestones(recorder_.Events());
    ASSERT_EQ(2u, milestones.size());
    EXPECT_EQ(kStart, milestones[0]);
    const auto events = recorder_.Events();
    EXPECT_EQ(DL_CODE_FAIL, events.back().code);
    EXPECT_EQ(L"WinHttp", events.back().text);
    EXPECT_FALSE(Exists(Dest())) << "the partial file is removed";
    EXPECT_EQ(1, servers_.Stats(path).gets) << "a try that got a response is not repeated";
    EXPECT_NE(0.0, events.back().value) << "a failure carries an error";
    std::printf("dropped connection: 1004 value %g\n", events.back().value);
}

TEST_F(WinHttpDownloaderTest, RedirectIsFollowed)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8208);
    const std::string path = "/redirect" + package.Rel();
    const std::string target = "/ok" + package.Rel();
    ASSERT_TRUE(servers_.Reset(path));
    ASSERT_TRUE(servers_.Reset(target));
    Make(servers_.Fault(path));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
    EXPECT_EQ(1, servers_.Stats(path).gets);
    EXPECT_EQ(1, servers_.Stats(target).gets);
}

TEST_F(WinHttpDownloaderTest, NginxRedirectIntoTheMd5Folder)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8209);
    Make(servers_.Nginx("/r" + package.Rel()));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
}

TEST_F(WinHttpDownloaderTest, BlockedDestinationIsNoSuccess)
{
    // A folder where the package should go: nothing can be stored.
    const auto package = TestKit::MakePackageUnder(servers_, kSize, 8210, "ab");
    ASSERT_TRUE(::CreateDirectoryW(Dest().c_str(), nullptr));
    Make(servers_.Nginx(package.Rel()));
    ASSERT_TRUE(RunToEnd());
    const auto codes = recorder_.CodesWithoutProgress();
    EXPECT_EQ((std::vector<int32_t>{DL_CODE_START, DL_CODE_FAIL}), codes);
}

TEST_F(WinHttpDownloaderTest, EmptyDestinationFailsAtOnce)
{
    Make(servers_.NginxW("/anything"), L"");
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, Describe(DL_CODE_FAIL, 1.0, L"")}), Milestones(recorder_.Events()));
}

TEST_F(WinHttpDownloaderTest, ConstructionTouchesNothing)
{
    ASSERT_TRUE(TestKit::WriteBytes(Dest(), "old package"));
    Make(servers_.NginxW("/anything"), Dest());
    EXPECT_EQ("old package", TestKit::ReadBytes(Dest()));
    EXPECT_TRUE(recorder_.Events().empty());
}

// --- the current user's proxy settings (prefix-wide: LOCK internet_settings) ---

TEST_F(WinHttpInternetSettings, PrefixAsksForNoAutomaticDetection)
{
    // scripts/wine-prefix.sh writes fixed settings; a fresh Wine prefix would
    // report automatic detection, whose lookups can stall in a closed network.
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    ASSERT_TRUE(::WinHttpGetIEProxyConfigForCurrentUser(&config));
    EXPECT_FALSE(config.fAutoDetect) << "the prefix predates scripts/wine-prefix.sh's Internet Settings";
    EXPECT_EQ(nullptr, config.lpszAutoConfigUrl);
    EXPECT_EQ(nullptr, config.lpszProxy);
    ::GlobalFree(config.lpszAutoConfigUrl);
    ::GlobalFree(config.lpszProxy);
    ::GlobalFree(config.lpszProxyBypass);

    // The sessions' default proxy (WinHttpSettings; under Wine also http_proxy
    // in the environment) would take every request of these tests elsewhere.
    WINHTTP_PROXY_INFO defaults = {};
    ASSERT_TRUE(::WinHttpGetDefaultProxyConfiguration(&defaults));
    EXPECT_EQ(static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NO_PROXY), defaults.dwAccessType)
        << Utils::UnicodeToUtf8(defaults.lpszProxy ? defaults.lpszProxy : L"");
    ::GlobalFree(defaults.lpszProxy);
    ::GlobalFree(defaults.lpszProxyBypass);
}

TEST_F(WinHttpInternetSettings, FixedProxyCarriesTheSecondTry)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8301);
    ASSERT_TRUE(servers_.Reset(package.Rel()));
    InternetSettingsOverride settings;
    ASSERT_TRUE(settings.Apply(InternetSettingsOverride::kDirect | InternetSettingsOverride::kFixedProxy,
                               "127.0.0.1:" + std::to_string(servers_.FaultPort()), "<local>"));
    WinHttpClient client(Utils::Utf8ToUnicode(kNowhere + package.Rel()));
    client.responseFile = Dest();
    ASSERT_TRUE(client.PerformRequest(L"GET")) << client.lastError;
    EXPECT_EQ(static_cast<DWORD>(ERROR_WINHTTP_NAME_NOT_RESOLVED), client.lastError) << "what ended the first try";
    EXPECT_EQ(200u, client.StatusCode());
    EXPECT_EQ(1, ProxiedCount(servers_, package.Rel()));
    EXPECT_EQ(1, servers_.Stats(package.Rel()).gets);
    EXPECT_EQ(package.md5, Utils::GetFileMD5(Dest()));
}

TEST_F(WinHttpInternetSettings, DownloaderArrivesThroughTheUserProxy)
{
    const auto package = TestKit::MakePackage(servers_, kSize, 8302);
    ASSERT_TRUE(servers_.Reset(package.Rel()));
    InternetSettingsOverride settings;
    ASSERT_TRUE(settings.Apply(InternetSettingsOverride::kDirect | InternetSettingsOverride::kFixedProxy,
                               "127.0.0.1:" + std::to_string(servers_.FaultPort()), "<local>"));
    Make(kNowhere + package.Rel());
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ((std::vector<std::string>{kStart, kSuccess}), Milestones(recorder_.Events()));
    ExpectDestinationHolds(package);
    EXPECT_EQ(1, ProxiedCount(servers_, package.Rel()));
}

TEST_F(WinHttpInternetSettings, FailedSendConsultsTheAutoConfigScript)
{
    // A failed send reads the user's settings and asks for the script they
    // name. The script is a 404: running a real one loads jscript, whose COM
    // windows make the process take up to 40 s to exit under Wine without a
    // display driver.
    const std::string script = "/status/404/pac" + std::to_string(::GetCurrentProcessId()) + "/proxy.pac";
    ASSERT_TRUE(servers_.Reset(script));
    InternetSettingsOverride settings;
    ASSERT_TRUE(settings.Apply(InternetSettingsOverride::kDirect | InternetSettingsOverride::kScript, "", "",
                               servers_.Fault(script)));
    WinHttpClient client(Utils::Utf8ToUnicode(kNowhere + "/0123456789abcdef0123456789abcdef/setup.exe"));
    const ULONGLONG began = ::GetTickCount64();
    EXPECT_FALSE(client.PerformRequest(L"GET"));
    const ULONGLONG elapsed = ::GetTickCount64() - began;
    EXPECT_EQ(static_cast<DWORD>(ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT), client.lastError);
    const int fetched = servers_.Stats(script).gets;
    EXPECT_GE(fetched, 1) << "the script named by the user's settings was asked for";
    EXPECT_LE(fetched, 3) << "at most once per try";
    EXPECT_LT(elapsed, 10000u);
    std::printf("script case: %d script requests in %llu ms\n", fetched, static_cast<unsigned long long>(elapsed));
}

TEST_F(WinHttpInternetSettings, UnresolvableHostWithoutProxyFails)
{
    InternetSettingsOverride settings;
    ASSERT_TRUE(settings.Apply(InternetSettingsOverride::kDirect, "", ""));
    Make(kNowhere + "/0123456789abcdef0123456789abcdef/setup.exe");
    const ULONGLONG began = ::GetTickCount64();
    ASSERT_TRUE(RunToEnd());
    const ULONGLONG elapsed = ::GetTickCount64() - began;
    EXPECT_EQ((std::vector<std::string>{kStart, Describe(DL_CODE_FAIL, ERROR_WINHTTP_NAME_NOT_RESOLVED, L"WinHttp")}),
              Milestones(recorder_.Events()));
    EXPECT_FALSE(Exists(Dest()));
    EXPECT_LT(elapsed, 10000u);
    std::printf("unresolvable host: three tries failed in %llu ms\n", static_cast<unsigned long long>(elapsed));
}
