#pragma once
// One HTTP request at a time over the system's WinHTTP: up to three tries,
// falling back to the current user's proxy settings when sending fails, the
// body appended chunk by chunk to an optional response file.
#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <functional>
#include <string>

#include "handle.h"

namespace Utils {
struct InternetHandleTraits {
    using Type = HINTERNET;
    static HINTERNET Empty() { return nullptr; }
    static void Close(HINTERNET h) { ::WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<InternetHandleTraits>;
} // namespace Utils

class WinHttpClient {
public:
    using Progress = std::function<void(uint64_t received, uint64_t total)>;

    explicit WinHttpClient(const std::wstring& address);
    WinHttpClient(const WinHttpClient&) = delete;
    WinHttpClient& operator=(const WinHttpClient&) = delete;

    // GET or POST (any letter case). True when a try received a response,
    // whatever its status; lastError tells why not otherwise. A body that
    // ends short of its Content-Length still counts, with lastError 12030.
    bool PerformRequest(const std::wstring& verb);

    // Of the last response: 0 when none arrived.
    DWORD StatusCode() const { return statusCode_; }
    // -1 when the response announced no length.
    int64_t ContentLength() const { return contentLength_; }
    // Body bytes of the try that got a response (with a response file: those stored).
    uint64_t Received() const { return received_; }
    // False when reading or storing the body of that response failed, with
    // or without an announced length.
    bool BodyComplete() const { return bodyComplete_; }

    Utils::UniqueInternet session; // opened by the first request, kept until destruction
    BOOL requireValidCertificate = TRUE;
    std::wstring address;
    std::wstring host;
    DWORD lastError = 0;
    std::wstring userAgent = L"WinHttpClient";
    int resolveTimeout = 0;
    int connectTimeout = 60000;
    int sendTimeout = 30000;
    int receiveTimeout = 30000;
    std::wstring responseFile; // empty: the body is read and dropped
    Progress progress;         // after each chunk; total 0 when unknown

private:
    // What a request is made of, cracked once from the address.
    struct Target {
        const wchar_t* method;
        std::wstring path;
        INTERNET_PORT port;
        bool secure;
    };
    bool OpenSession();
    // A connection and a request for `target` on `onSession`.
    bool OpenRequest(HINTERNET onSession, const Target& target, Utils::UniqueInternet& connection,
                     Utils::UniqueInternet& request);
    // Replaces the request by one on a session that goes through `proxy`:
    // a session opened with a named proxy is honoured by every WinHTTP,
    // a proxy option set on a request is not (Wine ignores it).
    bool UseProxy(LPWSTR proxy, LPWSTR bypass, const Target& target, Utils::UniqueInternet& connection,
                  Utils::UniqueInternet& request);
    // Applies the current user's proxy settings after a failed send; true
    // only when it also sent the request (through an auto-config script's proxy).
    bool SendThroughUserProxy(const Target& target, Utils::UniqueInternet& connection,
                              Utils::UniqueInternet& request);
    void QueryResponseHeaders(HINTERNET request);
    void ReadBody(HINTERNET request);
    bool AppendChunk(const char* data, DWORD size);

    Utils::UniqueInternet proxySession_; // through the proxy the user's settings named
    DWORD statusCode_ = 0;
    int64_t contentLength_ = -1;
    uint64_t received_ = 0;
    bool bodyComplete_ = false;
};
