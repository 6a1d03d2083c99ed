#include "mt_curl_downloader.h"

#include <process.h>

#include <cstdio>
#include <ctime>

#include "checksum.h"
#include "curl_support.h"
#include "local_file.h"
#include "log.h"
#include "text.h"

namespace {

constexpr int32_t kMinimumLength = 256;
constexpr int kPartBudget = 12;
constexpr DWORD kPartPauseMs = 400;
constexpr DWORD kPartStartGapMs = 100;
constexpr DWORD kWaiterPollMs = 200;
constexpr long kConnectTimeoutSeconds = 60;
// A part slower than 1 byte/s for 5 s is aborted and retried from where it stopped.
constexpr long kLowSpeedLimit = 1;
constexpr long kLowSpeedTimeSeconds = 5;
constexpr size_t kJoinBlockBytes = 1024;

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHeaders = std::unique_ptr<curl_slist, SlistFree>;

// For log lines: addresses are UTF-8, or ANSI for "file:///" ones.
std::wstring WideAddress(const std::string& address)
{
    const std::wstring wide = Utils::Utf8ToUnicode(address);
    return wide.empty() ? Utils::MultiByteToUnicode(address, CP_ACP) : wide;
}

} // namespace

CMTCurlDownloader::CMTCurlDownloader(EventCallback callback, const std::wstring& url, const std::wstring& path)
    : callback_(std::move(callback)), path_(path), url_(url)
{
    CurlSupport::EnsureGlobalInit();
    LocalFile::Remove(path_);
    RemovePartFiles();
}

CMTCurlDownloader::~CMTCurlDownloader()
{
    // Only the worker starts detached threads: once it is joined the list is complete.
    worker_.reset();
    retiredWorker_.reset();
    std::vector<Utils::UniqueHandle> threads;
    {
        Utils::LockGuard hold(detachedLock_);
        threads.swap(detached_);
    }
    for (const auto& thread : threads) {
        ::WaitForSingleObject(thread.Get(), INFINITE);
    }
    FreeParts();
}

void CMTCurlDownloader::Start()
{
    // Only when the waiter ran on the worker itself can it not be joined; it
    // ends when this callback returns and is joined later.
    // Without a thread nothing further happens.
    Utils::RestartWorker(worker_, retiredWorker_, this, L"ABDEF",
                         [](void* context) { static_cast<CMTCurlDownloader*>(context)->Start_Down(); });
}

std::wstring CMTCurlDownloader::PartPath(int index) const { return path_ + L"_" + std::to_wstring(index); }

void CMTCurlDownloader::RemovePartFiles()
{
    LocalFile::Remove(PartPath(0));
    LocalFile::Remove(PartPath(1));
}

double CMTCurlDownloader::LastReportedPercent()
{
    Utils::LockGuard hold(progressLock_);
    return lastReportedPercent_;
}

void CMTCurlDownloader::SetLastReportedPercent(double percent)
{
    Utils::LockGuard hold(progressLock_);
    lastReportedPercent_ = percent;
}

void CMTCurlDownloader::FreeParts() { parts_.clear(); }

bool CMTCurlDownloader::StartDetached(unsigned(__stdcall* entry)(void*), void* argument)
{
    unsigned id = 0;
    const uintptr_t handle = ::_beginthreadex(nullptr, 0, entry, argument, 0, &id);
    if (handle == 0) {
        return false;
    }
    Utils::LockGuard hold(detachedLock_);
    detached_.emplace_back(reinterpret_cast<HANDLE>(handle));
    return true;
}

void CMTCurlDownloader::Start_Down()
{
    callback_(DL_CODE_START, 1.0, L"");
    LOG_LINE(L"start download\r\n");
    const std::string url = CurlSupport::NarrowAddress(url_);
    {
        // Threads of earlier attempts that have ended need no waiting for.
        Utils::LockGuard hold(detachedLock_);
        for (auto it = detached_.begin(); it != detached_.end();) {
            it = ::WaitForSingleObject(it->Get(), 0) == WAIT_OBJECT_0 ? detached_.erase(it) : it + 1;
        }
    }

    LocalFile::Remove(path_);
    // Part files without reported progress are not worth resuming.
    if (LastReportedPercent() == 0.0) {
        RemovePartFiles();
    }
    if (effectiveUrl_.empty() || length_ < kMinimumLength) {
        if (!getRealDownloadUrl(url)) {
            callback_(DL_CODE_FAIL, 0.0, DownloadText::kLibCurl);
            return;
        }
    }

    const std::vector<PartRange> ranges = SplitLength(length_);
    for (size_t i = 0; i < ranges.size(); ++i) {
        auto part = std::make_unique<DownloadPartNode>();
        part->owner = this;
        part->partPath = PartPath(static_cast<int>(i));
        int64_t existing = LocalFile::Size(part->partPath);
        if (existing < 0) {
            existing = 0;
        }
        part->received = existing;
        part->nextOffset = ranges[i].first + static_cast<int32_t>(existing);
        part->lastOffset = ranges[i].last;
        part->handle.reset(curl_easy_init());
        part->address = effectiveUrl_;
        if (part->Complete()) {
            part->status = 0;
        } else if (part->file.Open(part->partPath, L"ab+")) {
            part->status = -1;
        } else {
            part->status = -2;
        }
        parts_.push_back(std::move(part));
    }

    for (const auto& part : parts_) {
        if (part->status != -1) {
            continue;
        }
        ++runningParts_;
        if (!StartDetached(&CMTCurlDownloader::PartThreadEntry, part.get())) {
            --runningParts_; // the part stays unfinished (-1) and fails the attempt
        }
        ::Sleep(kPartStartGapMs);
    }
    if (!StartDetached(&CMTCurlDownloader::WaiterThreadEntry, this)) {
        waitForFinishThreadFun(); // no thread: wait here (see Start)
    }
}

bool CMTCurlDownloader::getRealDownloadUrl(const std::string& url)
{
    effectiveUrl_.clear();
    expectedMd5_.clear();
    length_ = 0;

    // Declared before the handle, so it outlives every use the handle makes of it.
    CurlHeaders headers;
    CurlEasyHandle handle(curl_easy_init());
    if (!handle) {
        return false;
    }
    CURL* h = handle.get();
    headers.reset(curl_slist_append(nullptr, "Connection: keep-alive"));
    (void)curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    // Peer and host verification stay at libcurl's defaults (on): the package is executed afterwards.
    if (curl_easy_setopt(h, CURLOPT_URL, url.c_str()) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurlSupport::DiscardBody) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds) != CURLE_OK ||
        // A server that takes the connection and never answers must not hold the probe forever.
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimit) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeSeconds) != CURLE_OK) {
        return false;
    }
    if (curl_easy_perform(h) != CURLE_OK) {
        return false;
    }

    char* effective = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective != nullptr &&
        effective[0] != '\0') {
        effectiveUrl_ = effective;
        LOG_LINE(L"Download File real url %s\r\n", WideAddress(effectiveUrl_).c_str());
        expectedMd5_ = ExpectedChecksum(effectiveUrl_);
    }

    curl_off_t length = -1;
    long status = 0;
    if (curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 200 && status <= 399) {
        // Positions are 32-bit: 2 GiB or more stays refused (0) rather than wrapping.
        if (length >= 0 && length <= INT32_MAX) {
            length_ = static_cast<int32_t>(length);
        }
        LOG_LINE(L"Download File Length %lld\r\n", static_cast<long long>(length));
    }
    return !effectiveUrl_.empty() && length_ >= kMinimumLength;
}

unsigned __stdcall CMTCurlDownloader::PartThreadEntry(void* part)
{
    auto* node = static_cast<DownloadPartNode*>(part);
    node->owner->downloadThreadFun(node);
    return 0;
}

void CMTCurlDownloader::downloadThreadFun(DownloadPartNode* part)
{
    int budget = kPartBudget;
    int result = downloadExe(part);
    while (result != 0 && budget > 0) {
        budget -= result == CURLE_PARTIAL_FILE ? 1 : 2;
        LOG_LINE(L"CurlDownLoader Code=%d\r\n", result);
        ::Sleep(kPartPauseMs);
        result = downloadExe(part);
    }
    part->file.Close();
    // Last touch of the node: once the count reaches 0 the waiter frees it.
    // The object itself outlives this thread (its destructor waits for the
    // thread's handle), so the event may still be set afterwards.
    if (--runningParts_ == 0) {
        ::SetEvent(partsEnded_.Get());
    }
}

int CMTCurlDownloader::downloadExe(DownloadPartNode* part)
{
    char range[64];
    std::snprintf(range, sizeof range, "%ld-%ld", static_cast<long>(part->nextOffset),
                  static_cast<long>(part->lastOffset));
    CURL* h = part->handle.get();
    if (h == nullptr) {
        return CURLE_FAILED_INIT;
    }
    int combined = 0;
    combined |= curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    combined |= curl_easy_setopt(h, CURLOPT_URL, part->address.c_str());
    combined |= curl_easy_setopt(h, CURLOPT_TIMEOUT, 0L);
    combined |= curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    combined |= curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &PartWriter);
    combined |= curl_easy_setopt(h, CURLOPT_WRITEDATA, part);
    combined |= curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    combined |= curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CMTCurlDownloader::ProgressHook);
    combined |= curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    combined |= curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    combined |= curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    // Verification of peer and host stays on (libcurl's default).
    combined |= curl_easy_setopt(h, CURLOPT_BUFFERSIZE, CurlSupport::kPartReceiveBufferBytes);
    combined |= curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimit);
    combined |= curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeSeconds);
    combined |= curl_easy_setopt(h, CURLOPT_RANGE, range);
    if (combined != 0) {
        return combined;
    }

    part->statusChecked = false;
    const CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK) {
        LOG_LINE(L"error:%d:%s\r\n", static_cast<int>(code), CurlSupport::ErrorText(code).c_str());
    } else {
        LOG_LINE(L"curl_easy_cleanup\r\n");
    }
    curl_easy_reset(h);

    // A whole-body answer that filled the range ends with the writer's short
    // count (a write error); the part is complete all the same.
    const int result = part->Complete() ? 0 : static_cast<int>(code);
    if (result == 0) {
        part->file.Close();
    }
    part->status = result;
    return result;
}

int CMTCurlDownloader::ProgressHook(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    static_cast<CMTCurlDownloader*>(self)->OnProgress();
    return 0;
}

void CMTCurlDownloader::OnProgress()
{
    // Both part threads come here; the lock makes each increase reported once
    // and in increasing order. The parts vector does not change while parts run.
    Utils::LockGuard hold(progressLock_);
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (now - lastProgressTime_ < 1) {
        return;
    }
    lastProgressTime_ = now;
    double sum = 0.0;
    if (length_ >= kMinimumLength) {
        for (const auto& part : parts_) {
            const int64_t received = part->received;
            if (received > 0) {
                sum += static_cast<double>(received) * 100.0 / length_;
            }
        }
    }
    if (!parts_.empty() && sum > 100.0) {
        return;
    }
    if (sum - lastReportedPercent_ >= 1.0) {
        lastReportedPercent_ = sum;
        callback_(DL_CODE_PROGRESS, sum / 100.0, L"");
    }
}

unsigned __stdcall CMTCurlDownloader::WaiterThreadEntry(void* self)
{
    static_cast<CMTCurlDownloader*>(self)->waitForFinishThreadFun();
    return 0;
}

void CMTCurlDownloader::waitForFinishThreadFun()
{
    // At most kWaiterPollMs between looks at the counter; the last part
    // thread ends the wait early.
    while (runningParts_ > 0) {
        if (!partsEnded_ || ::WaitForSingleObject(partsEnded_.Get(), kWaiterPollMs) == WAIT_FAILED) {
            ::Sleep(kWaiterPollMs);
        }
    }
    // Every part thread has ended: the nodes are the waiter's alone now.
    int32_t firstError = 0;
    for (const auto& part : parts_) {
        if (part->status != 0) {
            firstError = part->status;
            break;
        }
    }

    // Each branch ends with its final event and touches nothing afterwards:
    // the callback of 1005 may call Start, which starts the next attempt at once.
    if (firstError != 0) {
        FreeParts();
        if (LastReportedPercent() == 0.0) {
            RemovePartFiles();
        }
        if (!retried_) {
            retried_ = true;
            callback_(DL_CODE_RETRY, static_cast<double>(firstError), DownloadText::kLibCurl);
            return;
        }
        SetLastReportedPercent(0.0);
        callback_(DL_CODE_FAIL, static_cast<double>(firstError), DownloadText::kLibCurl);
        return;
    }

    SetLastReportedPercent(0.0);
    {
        // 1024-byte block copies through large runtime buffers: the copy
        // loop stays plain, the system sees a read or write per MiB.
        LocalFile::File joined(PartPath(0), L"ab+", CurlSupport::kFileBufferBytes);
        for (size_t i = 1; i < parts_.size(); ++i) {
            LocalFile::File part(parts_[i]->partPath, L"rb", CurlSupport::kFileBufferBytes);
            if (part && joined) {
                char block[kJoinBlockBytes];
                size_t got = 0;
                while ((got = std::fread(block, 1, sizeof block, part.Get())) > 0) {
                    std::fwrite(block, 1, got, joined.Get());
                }
            }
            part.Close();
            LOG_LINE(L"partPath::%s\r\n", parts_[i]->partPath.c_str());
        }
    }
    const bool joinedWhole = LocalFile::Rename(PartPath(0), path_) && LocalFile::Size(path_) == length_;
    RemovePartFiles();
    if (!joinedWhole) {
        // A join or rename that failed leaves no whole package: never report one.
        LOG_LINE(L"join failed, no package at the destination\r\n");
        LocalFile::Remove(path_);
        FreeParts();
        if (!retried_) {
            retried_ = true;
            callback_(DL_CODE_RETRY, 0.0, DownloadText::kLibCurl);
            return;
        }
        callback_(DL_CODE_FAIL, 0.0, DownloadText::kLibCurl);
        return;
    }

    const ChecksumVerdict verdict = VerifyChecksum(expectedMd5_, path_);
    if (verdict == ChecksumVerdict::Mismatch) {
        callback_(DL_CODE_VERIFY, static_cast<double>(firstError), DownloadText::kMtCurlMd5Mismatch);
        LocalFile::Remove(path_);
        FreeParts();
        if (retried_) {
            LOG_LINE(L"finish recv, md5 chaek failed and retry failed.\r\n");
            callback_(DL_CODE_FAIL, 0.0, DownloadText::kLibCurl);
            return;
        }
        retried_ = true;
        LOG_LINE(L"finish recv, md5 chaek failed retry once.\r\n");
        callback_(DL_CODE_RETRY, 0.0, DownloadText::kLibCurl);
        return;
    }
    if (verdict == ChecksumVerdict::NoChecksum) {
        callback_(DL_CODE_VERIFY, 0.0, DownloadText::kMtCurlMd5Missing);
    }
    LOG_LINE(L"finish recv\r\n");
    FreeParts();
    callback_(DL_CODE_SUCCESS, 0.0, DownloadText::kLibCurl);
}
