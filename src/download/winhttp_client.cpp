#include "winhttp_client.h"

#include <cwchar>
#include <vector>

#include "log.h"

namespace {

constexpr int kTries = 3;
constexpr DWORD kHostChars = 260;
constexpr DWORD kPathChars = 1300; // path and query together
constexpr size_t kChunkBytes = 1024 * 1024;
constexpr DWORD kIgnoreCertificateErrors = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                                           SECURITY_FLAG_IGNORE_CERT_CN_INVALID; // 0x3100

// Strings WinHTTP hands out for the caller to release with GlobalFree.
struct GlobalStringTraits {
    using Type = LPWSTR;
    static LPWSTR Empty() { return nullptr; }
    static void Close(LPWSTR p) { ::GlobalFree(p); }
};
using GlobalString = Utils::UniqueResource<GlobalStringTraits>;

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) { return ::_wcsicmp(a.c_str(), b) == 0; }

bool Send(HINTERNET request)
{
    return ::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) != FALSE;
}

} // namespace

WinHttpClient::WinHttpClient(const std::wstring& address) : address(address) {}

bool WinHttpClient::OpenSession()
{
    if (!session) {
        session.Reset(::WinHttpOpen(userAgent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0));
    }
    if (!session) {
        lastError = ::GetLastError();
        return false;
    }
    // Every request takes the timeouts as they are now.
    if (!::WinHttpSetTimeouts(session.Get(), resolveTimeout, connectTimeout, sendTimeout, receiveTimeout)) {
        lastError = ::GetLastError();
        return false;
    }
    return true;
}

bool WinHttpClient::PerformRequest(const std::wstring& verb)
{
    statusCode_ = 0;
    contentLength_ = -1;
    received_ = 0;
    bodyComplete_ = false;
    if (address.empty()) {
        lastError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    const wchar_t* method = nullptr;
    if (EqualsNoCase(verb, L"GET")) {
        method = L"GET";
    } else if (EqualsNoCase(verb, L"POST")) {
        method = L"POST";
    } else {
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    lastError = 0;
    if (!OpenSession()) {
        return false;
    }

    wchar_t hostName[kHostChars + 1] = {};
    wchar_t urlPath[kPathChars + 1] = {};
    wchar_t extra[kPathChars + 1] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = hostName;
    parts.dwHostNameLength = kHostChars + 1;
    parts.lpszUrlPath = urlPath;
    parts.dwUrlPathLength = kPathChars + 1;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = kPathChars + 1;
    if (!::WinHttpCrackUrl(address.c_str(), 0, 0, &parts)) {
        lastError = ::GetLastError();
        return false;
    }
    const std::wstring path = std::wstring(urlPath) + extra;
    if (path.size() > kPathChars) {
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    host = hostName;
    const Target target{method, path, parts.nPort, parts.nScheme == INTERNET_SCHEME_HTTPS};
    Utils::UniqueInternet connection;
    Utils::UniqueInternet request;
    if (!OpenRequest(session.Get(), target, connection, request)) {
        return false;
    }

    bool succeeded = false;
    for (int attempt = 0; attempt < kTries && !succeeded; ++attempt) {
        bool sent = Send(request.Get());
        if (!sent) {
            lastError = ::GetLastError();
            sent = SendThroughUserProxy(target, connection, request);
        }
        if (!sent) {
            continue;
        }
        if (!::WinHttpReceiveResponse(request.Get(), nullptr)) {
            lastError = ::GetLastError();
            continue;
        }
        QueryResponseHeaders(request.Get());
        ReadBody(request.Get());
        succeeded = true;
    }
    return succeeded;
}

bool WinHttpClient::OpenRequest(HINTERNET onSession, const Target& target, Utils::UniqueInternet& connection,
                                Utils::UniqueInternet& request)
{
    request.Reset();
    connection.Reset(::WinHttpConnect(onSession, host.c_str(), target.port, 0));
    if (!connection) {
        lastError = ::GetLastError();
        return false;
    }
    request.Reset(::WinHttpOpenRequest(connection.Get(), target.method, target.path.c_str(), nullptr,
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       target.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) {
        lastError = ::GetLastError();
        return false;
    }
    if (target.secure && !requireValidCertificate) {
        DWORD flags = kIgnoreCertificateErrors;
        if (!::WinHttpSetOption(request.Get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags))) {
            lastError = ::GetLastError();
        }
    }
    return true;
}

bool WinHttpClient::UseProxy(LPWSTR proxy, LPWSTR bypass, const Target& target, Utils::UniqueInternet& connection,
                             Utils::UniqueInternet& request)
{
    request.Reset();
    connection.Reset();
    proxySession_.Reset(::WinHttpOpen(userAgent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy,
                                      bypass ? bypass : WINHTTP_NO_PROXY_BYPASS, 0));
    if (!proxySession_ ||
        !::WinHttpSetTimeouts(proxySession_.Get(), resolveTimeout, connectTimeout, sendTimeout, receiveTimeout)) {
        lastError = ::GetLastError();
        proxySession_.Reset();
        // Without the proxy the next try goes out directly again.
        OpenRequest(session.Get(), target, connection, request);
        return false;
    }
    return OpenRequest(proxySession_.Get(), target, connection, request);
}

bool WinHttpClient::SendThroughUserProxy(const Target& target, Utils::UniqueInternet& connection,
                                         Utils::UniqueInternet& request)
{
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        return false;
    }
    const GlobalString script(config.lpszAutoConfigUrl);
    const GlobalString proxy(config.lpszProxy);
    const GlobalString bypass(config.lpszProxyBypass);

    if (script) {
        WINHTTP_AUTOPROXY_OPTIONS options = {};
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP;
        options.lpszAutoConfigUrl = script.Get();
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO found = {};
        BOOL located = ::WinHttpGetProxyForUrl(session.Get(), address.c_str(), &options, &found);
        if (!located && ::GetLastError() == ERROR_INVALID_PARAMETER) {
            // Wine refuses detection and a script together; the script alone still works there.
            options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
            options.dwAutoDetectFlags = 0;
            located = ::WinHttpGetProxyForUrl(session.Get(), address.c_str(), &options, &found);
        }
        if (!located) {
            lastError = ::GetLastError();
            return false;
        }
        const GlobalString foundProxy(found.lpszProxy);
        const GlobalString foundBypass(found.lpszProxyBypass);
        if (!foundProxy) {
            return false;
        }
        if (!UseProxy(foundProxy.Get(), foundBypass.Get(), target, connection, request)) {
            return false;
        }
        if (!Send(request.Get())) {
            lastError = ::GetLastError();
            return false;
        }
        return true;
    }
    if (proxy) {
        // The proxy and its bypass list as the settings give them, each in a
        // buffer of 260 characters; used from the next try on.
        wchar_t proxyName[MAX_PATH] = {};
        wchar_t bypassList[MAX_PATH] = {};
        ::lstrcpynW(proxyName, proxy.Get(), MAX_PATH);
        if (bypass) {
            ::lstrcpynW(bypassList, bypass.Get(), MAX_PATH);
        }
        UseProxy(proxyName, bypass ? bypassList : nullptr, target, connection, request);
    }
    return false;
}

void WinHttpClient::QueryResponseHeaders(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        statusCode_ = status;
    }
    // As text: a package may exceed what the 32-bit number form holds.
    wchar_t length[32] = {};
    size = sizeof(length);
    if (::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length, &size,
                              WINHTTP_NO_HEADER_INDEX)) {
        wchar_t* end = nullptr;
        const long long value = std::wcstoll(length, &end, 10);
        if (end != length && value >= 0) {
            contentLength_ = value;
        }
    }
}

void WinHttpClient::ReadBody(HINTERNET request)
{
    const uint64_t total = contentLength_ > 0 ? static_cast<uint64_t>(contentLength_) : 0;
    bodyComplete_ = false;
    // Reads come in pieces of a few KiB; they are gathered into chunks of
    // kChunkBytes so that the file is opened once per chunk, not per piece.
    std::vector<char> chunk;
    chunk.reserve(kChunkBytes);
    const auto store = [&]() {
        if (chunk.empty()) {
            return true;
        }
        if (!responseFile.empty() && !AppendChunk(chunk.data(), static_cast<DWORD>(chunk.size()))) {
            return false;
        }
        received_ += chunk.size();
        chunk.clear();
        if (progress) {
            progress(received_, total);
        }
        return true;
    };
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request, &available)) {
            lastError = ::GetLastError();
            store();
            return;
        }
        if (available == 0) {
            break;
        }
        const size_t at = chunk.size();
        chunk.resize(at + available);
        DWORD read = 0;
        if (!::WinHttpReadData(request, chunk.data() + at, available, &read)) {
            lastError = ::GetLastError();
            chunk.resize(at);
            store();
            return;
        }
        chunk.resize(at + read);
        if (read == 0) {
            break;
        }
        if (chunk.size() >= kChunkBytes && !store()) {
            // The file no longer holds the body: reading on would only waste the link.
            return;
        }
    }
    if (!store()) {
        return;
    }
    if (contentLength_ >= 0 && received_ < static_cast<uint64_t>(contentLength_)) {
        // A hang-up can end the body without an error of its own; a failure must not read as 0.
        lastError = ERROR_WINHTTP_CONNECTION_ERROR;
        return;
    }
    bodyComplete_ = true;
}

bool WinHttpClient::AppendChunk(const char* data, DWORD size)
{
    // Opened per chunk, so the file is complete on disk after every chunk.
    Utils::UniqueFile file(::CreateFileW(responseFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        lastError = ::GetLastError();
        LOG_LINE(L"Failed to open response file. Error code: %d\r\n", static_cast<int>(lastError));
        return false;
    }
    DWORD written = 0;
    if (!::WriteFile(file.Get(), data, size, &written, nullptr) || written != size) {
        lastError = ::GetLastError();
        LOG_LINE(L"Failed to write response data. Error code: %d\r\n", static_cast<int>(lastError));
        return false;
    }
    return true;
}
