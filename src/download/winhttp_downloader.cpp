#include "winhttp_downloader.h"

#include "checksum.h"
#include "local_file.h"
#include "log.h"
#include "text.h"

namespace {

constexpr ULONGLONG kProgressIntervalMs = 1000;

bool IsSuccessStatus(DWORD status) { return status >= 200 && status < 300; }

} // namespace

WinHttpDownloader::WinHttpDownloader(EventCallback callback, const std::wstring& url, const std::wstring& path)
    : callback_(std::move(callback)), url_(url), path_(path), client_(url)
{
    client_.responseFile = path_;
    client_.progress = [this](uint64_t received, uint64_t total) { OnProgress(received, total); };
}

WinHttpDownloader::~WinHttpDownloader()
{
    // The current worker joins the previous one first, so this order waits for both.
    worker_.reset();
    previousWorker_.reset();
}

void WinHttpDownloader::Start()
{
    // From our own callback the current worker cannot be joined: it ends as
    // soon as the callback returns, and the next worker joins and deletes it.
    // Without a thread nothing further happens.
    Utils::RestartWorker(worker_, previousWorker_, this, L"ABDEF",
                         [](void* context) { static_cast<WinHttpDownloader*>(context)->dlThreadFun(); });
}

void WinHttpDownloader::OnProgress(uint64_t received, uint64_t total)
{
    if (total == 0) {
        return;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (progressSent_ && now - lastProgressTick_ < kProgressIntervalMs) {
        return;
    }
    progressSent_ = true;
    lastProgressTick_ = now;
    const double fraction = received >= total ? 1.0 : static_cast<double>(received) / static_cast<double>(total);
    callback_(DL_CODE_PROGRESS, fraction, L"");
}

void WinHttpDownloader::dlThreadFun()
{
    // Set by the worker that started this one, before this thread was resumed.
    previousWorker_.reset();

    callback_(DL_CODE_START, 1.0, L"");
    if (path_.empty()) {
        callback_(DL_CODE_FAIL, 1.0, L"");
        return;
    }
    // The body is appended: an old file would put the new package behind it.
    LocalFile::Remove(path_);
    progressSent_ = false;
    const bool responded = client_.PerformRequest(L"GET");
    const DWORD status = client_.StatusCode();
    const int64_t length = client_.ContentLength();
    // What reached the disk, too: a body that could not be stored is no package.
    const bool complete = client_.BodyComplete() &&
                          (length < 0 || client_.Received() == static_cast<uint64_t>(length)) &&
                          LocalFile::Size(path_) == static_cast<int64_t>(client_.Received());
    if (responded && IsSuccessStatus(status) && complete) {
        Verify();
        return;
    }
    LOG_LINE(L"WinHttpDownloader error=%u status=%u received=%llu length=%lld\r\n",
             static_cast<unsigned>(client_.lastError), static_cast<unsigned>(status),
             static_cast<unsigned long long>(client_.Received()), static_cast<long long>(length));
    LocalFile::Remove(path_);
    const double value = responded && !IsSuccessStatus(status) ? static_cast<double>(status)
                                                               : static_cast<double>(client_.lastError);
    callback_(DL_CODE_FAIL, value, DownloadText::kWinHttp);
}

void WinHttpDownloader::Verify()
{
    switch (VerifyChecksum(ExpectedChecksum(Utils::UnicodeToUtf8(url_)), path_)) {
    case ChecksumVerdict::NoChecksum:
        callback_(DL_CODE_VERIFY, 0.0, DownloadText::kWinHttpMd5Missing);
        callback_(DL_CODE_SUCCESS, 0.0, DownloadText::kWinHttp);
        return;
    case ChecksumVerdict::Good:
        callback_(DL_CODE_SUCCESS, 0.0, DownloadText::kWinHttp);
        return;
    case ChecksumVerdict::Mismatch:
        break;
    }
    // The mismatching file stays; the next attempt replaces it.
    callback_(DL_CODE_VERIFY, 0.0, DownloadText::kWinHttpMd5Mismatch);
    if (retried_) {
        callback_(DL_CODE_FAIL, 0.0, DownloadText::kWinHttp);
        return;
    }
    retried_ = true;
    // May call Start on this very thread (see Start).
    callback_(DL_CODE_RETRY, 0.0, DownloadText::kWinHttp);
}
