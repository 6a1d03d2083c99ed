#pragma once
// The ranged downloader: a HEAD probe finds the effective address and the
// length, at most two ranges are fetched at once into part files (destination
// + "_0" / "_1") by detached part threads, and a detached waiter joins them,
// checks the MD5 carried in the address and sends the final event.
// libcurl first: it brings winsock2.h, which must come before windows.h.
#include "part_writer.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "downloader.h"
#include "handle.h"
#include "lock.h"
#include "thread.h"

class CMTCurlDownloader : public CDownloader {
public:
    CMTCurlDownloader(EventCallback callback, const std::wstring& url, const std::wstring& path);
    // Waits for the worker and for every part and waiter thread still running.
    // Call it after a final event (1003, 1004) or before Start, never from the callback.
    ~CMTCurlDownloader() override;
    CMTCurlDownloader(const CMTCurlDownloader&) = delete;
    CMTCurlDownloader& operator=(const CMTCurlDownloader&) = delete;

    void Start() override;

private:
    void Start_Down();
    bool getRealDownloadUrl(const std::string& url);
    void downloadThreadFun(DownloadPartNode* part);
    int downloadExe(DownloadPartNode* part);
    void waitForFinishThreadFun();

    static unsigned __stdcall PartThreadEntry(void* part);
    static unsigned __stdcall WaiterThreadEntry(void* self);
    static int ProgressHook(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    void OnProgress();

    bool StartDetached(unsigned(__stdcall* entry)(void*), void* argument);
    void FreeParts();
    void RemovePartFiles();
    std::wstring PartPath(int index) const;
    double LastReportedPercent();
    void SetLastReportedPercent(double percent);

    std::vector<std::unique_ptr<DownloadPartNode>> parts_;
    EventCallback callback_;
    std::wstring path_;
    std::wstring url_;
    std::string effectiveUrl_;
    int32_t length_ = -1;
    std::string expectedMd5_;
    double lastReportedPercent_ = 0.0; // under progressLock_
    std::atomic<int32_t> runningParts_{0};
    // Set by the part thread that brings runningParts_ to 0, so the waiter
    // joins at once instead of at its next 200 ms turn (auto-reset; a stale
    // signal only costs the waiter one more look at the counter).
    Utils::UniqueHandle partsEnded_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    int64_t lastProgressTime_ = 0; // under progressLock_
    bool retried_ = false;
    std::unique_ptr<Utils::Thread> worker_;
    // A worker that called Start on itself (the waiter ran inline); joined later.
    std::unique_ptr<Utils::Thread> retiredWorker_;

    Utils::Lock progressLock_;
    // Handles of the detached part and waiter threads, kept so that the
    // destructor can wait for them: they use this object until they end.
    Utils::Lock detachedLock_;
    std::vector<Utils::UniqueHandle> detached_;
};
