#pragma once
// One resumable HTTP stream over the libcurl easy interface: probes the
// address (effective address after redirects, whole length), then appends the
// body to destination + ".part" and renames it into place when complete.
#include <curl/curl.h>

#include <cstdint>
#include <cstdio>
#include <string>

class CCurlDownloader;

// Owns one easy handle; curl_easy_cleanup on destruction.
class CurlEasy {
public:
    CurlEasy() = default;
    explicit CurlEasy(CURL* handle) : handle_(handle) {}
    ~CurlEasy() { Reset(); }
    CurlEasy(CurlEasy&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    CurlEasy& operator=(CurlEasy&& other) noexcept;
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    CURL* Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset(CURL* handle = nullptr);

private:
    CURL* handle_ = nullptr;
};

// Owns a header list; curl_slist_free_all on destruction. It must outlive
// every transfer that was given it.
class CurlHeaderList {
public:
    CurlHeaderList() = default;
    ~CurlHeaderList() { curl_slist_free_all(list_); }
    CurlHeaderList(const CurlHeaderList&) = delete;
    CurlHeaderList& operator=(const CurlHeaderList&) = delete;

    // False when the line could not be added; the list keeps what it had.
    bool Append(const char* line);
    curl_slist* Get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

class CurlClient {
public:
    using ProgressSink = void (*)(CCurlDownloader* owner, double speed, double percent);

    // Own results of Start besides libcurl's codes.
    static constexpr int kLengthRefused = -998; // length unknown or below kMinimumLength
    static constexpr int kNoHandle = -997;
    static constexpr int kNoWorkingFile = -996;
    static constexpr double kMinimumLength = 1048576.0;

    CurlClient(const std::wstring& url, const std::wstring& path, CCurlDownloader* owner);
    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    // One attempt: 0 on success, a libcurl result, or one of the own results.
    // Runs on the caller's thread (the downloader's worker), one caller at a time.
    int Start();

    // Probes. Head's handle belongs to the caller; null when none was made.
    CurlEasy Head(std::string url);
    std::string GetRealUrl(CURL* handle);
    double GetDownloadFileLength(CURL* handle);
    std::string GetRealUrl_Str(const std::string& url);
    double GetDownloadFileLength_Str(const std::string& url);

    static int ProgressCallback(void* client, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                                curl_off_t ulnow);
    static size_t WriteData(char* data, size_t size, size_t count, void* file);

    // The address the transfer used; the expected checksum is read from it.
    const std::string& EffectiveUrl() const { return effectiveUrl_; }
    double TotalLength() const { return totalLength_; }
    std::wstring WorkingPath() const { return path_ + L".part"; }

private:
    // Sets the download options and performs; the result as Start reports it.
    int PerformTransfer(const std::wstring& part, FILE* file, CurlHeaderList& headers);

    std::wstring url_;
    std::wstring path_;
    CCurlDownloader* owner_;
    CurlEasy transfer_;
    ProgressSink progressSink_;
    double totalLength_ = -1.0;
    int64_t resumeOffset_ = -1;
    int64_t lastProgressTime_ = 0;
    // Survive from one attempt to the next, so the probes run until they once succeed.
    std::string effectiveUrl_;
};
