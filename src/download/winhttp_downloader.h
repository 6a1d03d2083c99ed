#pragma once
// The downloader on the system's WinHTTP: one GET straight into the
// destination on one worker thread, then checked against the MD5 carried in
// the address.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "downloader.h"
#include "thread.h"
#include "winhttp_client.h"

class WinHttpDownloader : public CDownloader {
public:
    // No network or file work until Start.
    WinHttpDownloader(EventCallback callback, const std::wstring& url, const std::wstring& path);
    // Joins the worker; must not run on the worker itself.
    ~WinHttpDownloader() override;
    WinHttpDownloader(const WinHttpDownloader&) = delete;
    WinHttpDownloader& operator=(const WinHttpDownloader&) = delete;

    // Returns at once; the attempt runs on a new worker. May be called from
    // inside the callback (on the worker itself) after 1005.
    void Start() override;

private:
    void dlThreadFun();
    void OnProgress(uint64_t received, uint64_t total);
    // The checksum step after a complete transfer; sends the final events.
    void Verify();

    EventCallback callback_;
    std::wstring url_;
    std::wstring path_;
    WinHttpClient client_;
    ULONGLONG lastProgressTick_ = 0;
    bool progressSent_ = false;
    bool retried_ = false;
    std::unique_ptr<Utils::Thread> worker_;
    // A worker that called Start on itself. Set only by that worker right
    // before it creates its successor, cleared by the successor first thing.
    std::unique_ptr<Utils::Thread> previousWorker_;
};
