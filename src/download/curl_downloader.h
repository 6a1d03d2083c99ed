#pragma once
// The default downloader: one resumable curl stream on one worker thread,
// retried internally, then checked against the MD5 carried in the address.
#include <memory>
#include <string>

#include "curl_client.h"
#include "downloader.h"
#include "thread.h"

class CCurlDownloader : public CDownloader {
public:
    // Deletes a working file left by an earlier run; no network work.
    CCurlDownloader(EventCallback callback, const std::wstring& url, const std::wstring& path);
    // Joins the worker; must not run on the worker itself.
    ~CCurlDownloader() override;
    CCurlDownloader(const CCurlDownloader&) = delete;
    CCurlDownloader& operator=(const CCurlDownloader&) = delete;

    // Returns at once; the attempt runs on a new worker. May be called from
    // inside the callback (on the worker itself) after 1005.
    void Start() override;

    // The client's progress sink: 1002 when libcurl measures a speed and the
    // percentage makes sense.
    static void OnProgress(CCurlDownloader* owner, double speed, double percent);

private:
    void dlThreadFun();
    // The checksum step after a complete transfer; sends the final events.
    void Verify();

    EventCallback callback_;
    std::wstring path_;
    std::wstring url_;
    CurlClient client_;
    std::unique_ptr<Utils::Thread> worker_;
    bool retried_ = false;
    // A worker that called Start on itself. Set only by that worker right
    // before it creates its successor, cleared by the successor first thing.
    std::unique_ptr<Utils::Thread> previousWorker_;
};
