#include "curl_client.h"

#include <ctime>

#include "curl_downloader.h"
#include "curl_support.h"
#include "local_file.h"
#include "log.h"

namespace {

constexpr long kConnectTimeoutSeconds = 60;
// A server that stops sending mid-body: below 1 byte/s for 5 s ends the
// attempt with error 28, and the next attempt resumes.
constexpr long kLowSpeedLimit = 1;
constexpr long kLowSpeedTimeSeconds = 5;

// libcurl's text for a result of Start, whose own codes libcurl does not know.
std::wstring ResultText(int result)
{
    if (result < 0 || result >= static_cast<int>(CURL_LAST)) {
        return CurlSupport::ErrorText(CURL_LAST);
    }
    return CurlSupport::ErrorText(static_cast<CURLcode>(result));
}

// The options every probe sets before its request; `mode` is
// CURLOPT_FOLLOWLOCATION or CURLOPT_HEADER. The first refused option stops it.
CURLcode SetProbeOptions(CURL* h, const std::string& url, CURLoption mode)
{
    CURLcode code = curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    if (code == CURLE_OK) {
        code = curl_easy_setopt(h, mode, 1L);
    }
    if (code == CURLE_OK) {
        code = curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    }
    if (code == CURLE_OK) {
        code = curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurlSupport::DiscardBody);
    }
    if (code == CURLE_OK) {
        code = curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    }
    // A server that takes the connection and never answers must not hold the
    // probe (and the installer) forever.
    if (code == CURLE_OK) {
        code = curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimit);
    }
    if (code == CURLE_OK) {
        code = curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeSeconds);
    }
    return code;
}

} // namespace

CurlEasy& CurlEasy::operator=(CurlEasy&& other) noexcept
{
    if (this != &other) {
        Reset(other.handle_);
        other.handle_ = nullptr;
    }
    return *this;
}

void CurlEasy::Reset(CURL* handle)
{
    if (handle_ != nullptr) {
        curl_easy_cleanup(handle_);
    }
    handle_ = handle;
}

bool CurlHeaderList::Append(const char* line)
{
    curl_slist* longer = curl_slist_append(list_, line);
    if (longer == nullptr) {
        return false;
    }
    list_ = longer;
    return true;
}

CurlClient::CurlClient(const std::wstring& url, const std::wstring& path, CCurlDownloader* owner)
    : url_(url), path_(path), owner_(owner), progressSink_(&CCurlDownloader::OnProgress)
{
}

CurlEasy CurlClient::Head(std::string url)
{
    CurlEasy handle(curl_easy_init());
    if (!handle) {
        return handle;
    }
    CURL* h = handle.Get();
    CURLcode code = SetProbeOptions(h, url, CURLOPT_FOLLOWLOCATION);
    if (code == CURLE_OK) {
        code = curl_easy_perform(h);
    }
    if (code != CURLE_OK) {
        LOG_LINE(L"error:%d:%s\r\n", static_cast<int>(code), CurlSupport::ErrorText(code).c_str());
    }
    LOG_LINE(L"error:%d:%s\r\n", static_cast<int>(code), CurlSupport::ErrorText(code).c_str());
    return handle;
}

std::string CurlClient::GetRealUrl(CURL* handle)
{
    char* url = nullptr;
    if (handle == nullptr || curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr) {
        return {};
    }
    return url;
}

double CurlClient::GetDownloadFileLength(CURL* handle)
{
    if (handle == nullptr) {
        return -1.0;
    }
    // The _T query gives the same value as the deprecated double one (-1 when unknown).
    curl_off_t length = -1;
    const CURLcode code = curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    LOG_LINE(L"error:%d:%s\r\n", static_cast<int>(code), CurlSupport::ErrorText(code).c_str());
    long status = 0;
    if (curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status < 200 || status > 399) {
        return -1.0;
    }
    return static_cast<double>(length);
}

std::string CurlClient::GetRealUrl_Str(const std::string& url)
{
    CurlEasy handle(curl_easy_init());
    if (!handle) {
        return url;
    }
    CURL* h = handle.Get();
    CURLcode code = SetProbeOptions(h, url, CURLOPT_FOLLOWLOCATION);
    if (code == CURLE_OK) {
        code = curl_easy_perform(h);
    }
    std::string effective;
    if (code != CURLE_OK) {
        LOG_LINE(L"error:%d:%s\r\n", static_cast<int>(code), CurlSupport::ErrorText(code).c_str());
    } else {
        // The text belongs to the handle: copy it before the handle goes.
        effective = GetRealUrl(h);
    }
    return effective.empty() ? url : effective;
}

double CurlClient::GetDownloadFileLength_Str(const std::string& url)
{
    CurlEasy handle(curl_easy_init());
    if (!handle) {
        return -1.0;
    }
    CURL* h = handle.Get();
    CURLcode code = SetProbeOptions(h, url, CURLOPT_HEADER);
    if (code != CURLE_OK) {
        return -1.0;
    }
    (void)curl_easy_perform(h);
    curl_off_t length = -1;
    (void)curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    long status = 0;
    code = curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    LOG_LINE(L"error:%d:%s\r\n", static_cast<int>(code), CurlSupport::ErrorText(code).c_str());
    return static_cast<double>(length);
}

int CurlClient::Start()
{
    LOG_LINE(L"start download\r\n");
    const std::wstring part = WorkingPath();
    const std::string url = CurlSupport::NarrowAddress(url_);

    if (effectiveUrl_.empty() || totalLength_ < kMinimumLength) {
        const CurlEasy head = Head(url);
        effectiveUrl_ = GetRealUrl(head.Get());
        totalLength_ = GetDownloadFileLength(head.Get());
    }
    if (effectiveUrl_.empty() || totalLength_ < kMinimumLength) {
        effectiveUrl_ = GetRealUrl_Str(url);
        if (!effectiveUrl_.empty()) {
            totalLength_ = GetDownloadFileLength_Str(effectiveUrl_);
        }
    }

    int result = kLengthRefused;
    // Both are handed to libcurl: they must outlive the transfer handle, which
    // is cleaned up first below.
    CurlHeaderList headers;
    LocalFile::File file;
    if (totalLength_ >= kMinimumLength) {
        transfer_.Reset(curl_easy_init());
        if (!transfer_) {
            result = kNoHandle;
        } else if (!file.Open(part, L"ab+", CurlSupport::kFileBufferBytes)) {
            result = kNoWorkingFile;
        } else {
            result = PerformTransfer(part, file.Get(), headers);
        }
    }

    LOG_LINE(L"error:%d:%s\r\n", result, ResultText(result).c_str());
    transfer_.Reset();
    // The buffer holds up to a MiB the transfer counted as stored: a package
    // whose end could not be written is no package.
    if (!file.Close() && result == 0) {
        result = kNoWorkingFile;
        LOG_LINE(L"the working file could not be written whole\r\n");
    }
    if (result == 0) {
        LocalFile::Remove(path_);
        if (!LocalFile::Rename(part, path_)) {
            // Something stands in the destination's way: no package to report.
            result = kNoWorkingFile;
            LOG_LINE(L"rename failed, no package at the destination\r\n");
        }
    } else if (result == CURLE_RANGE_ERROR) {
        // The server ignored Range and sent the whole body: resuming can never
        // work there, so the next attempt starts from byte 0.
        LocalFile::Remove(part);
        LOG_LINE(L"range refused, working file deleted\r\n");
    }
    LOG_LINE(L"end download\r\n");
    return result;
}

int CurlClient::PerformTransfer(const std::wstring& part, FILE* file, CurlHeaderList& headers)
{
    CURL* h = transfer_.Get();
    headers.Append("Connection: keep-alive");
    // Only a request header: libcurl decodes nothing, the body is stored as received.
    headers.Append("Accept-Encoding: gzip, deflate");
    (void)curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.Get());
    (void)curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    (void)curl_easy_setopt(h, CURLOPT_TCP_KEEPIDLE, 10L);
    (void)curl_easy_setopt(h, CURLOPT_TCP_KEEPINTVL, 10L);
    (void)curl_easy_setopt(h, CURLOPT_TIMEOUT, 0L);
    int combined = 0;
    combined |= curl_easy_setopt(h, CURLOPT_URL, effectiveUrl_.c_str());
    combined |= curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    combined |= curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurlClient::WriteData);
    combined |= curl_easy_setopt(h, CURLOPT_WRITEDATA, file);
    combined |= curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    combined |= curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CurlClient::ProgressCallback);
    combined |= curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    combined |= curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    combined |= curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    combined |= curl_easy_setopt(h, CURLOPT_BUFFERSIZE, CurlSupport::kStreamReceiveBufferBytes);
    combined |= curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimit);
    combined |= curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeSeconds);
    // Peer and host verification stay at libcurl's defaults: on.
    resumeOffset_ = LocalFile::Size(part);
    if (static_cast<double>(resumeOffset_) > 1e-10) {
        combined |= curl_easy_setopt(h, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(resumeOffset_));
    }
    return combined == 0 ? static_cast<int>(curl_easy_perform(h)) : combined;
}

int CurlClient::ProgressCallback(void* client, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t)
{
    auto* self = static_cast<CurlClient*>(client);
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (now - self->lastProgressTime_ < 1) {
        return 0;
    }
    self->lastProgressTime_ = now;

    curl_off_t bytesPerSecond = 0;
    double speed = 0.0;
    if (curl_easy_getinfo(self->transfer_.Get(), CURLINFO_SPEED_DOWNLOAD_T, &bytesPerSecond) == CURLE_OK) {
        speed = static_cast<double>(bytesPerSecond);
    }

    double percent = 0.0;
    if (self->totalLength_ > kMinimumLength) {
        percent = static_cast<double>(self->resumeOffset_ + dlnow) / self->totalLength_ * 100.0;
    } else if (dlnow > 0 && dltotal > 0) {
        percent = static_cast<double>(dlnow) * 100.0 / static_cast<double>(dltotal);
    } else {
        return 0;
    }
    if (percent == 0.0) {
        return 0;
    }
    self->progressSink_(self->owner_, speed, percent);
    if (dltotal != 0) {
        LOG_LINE(L" %dM %dM   progress:%f%%  speed:%f \n", static_cast<int>(dlnow / 1048576),
                 static_cast<int>(dltotal / 1048576), static_cast<double>(static_cast<float>(percent)),
                 static_cast<double>(static_cast<float>(speed / 1024)));
    }
    return 0;
}

size_t CurlClient::WriteData(char* data, size_t size, size_t count, void* file)
{
    if (file == nullptr) {
        return 0; // libcurl then aborts with a write error
    }
    return std::fwrite(data, size, count, static_cast<FILE*>(file));
}
