#include "curl_downloader.h"

#include <windows.h>

#include "checksum.h"
#include "curl_support.h"
#include "local_file.h"
#include "log.h"

namespace {

constexpr int kBudget = 12;
constexpr DWORD kPauseMs = 500;

} // namespace

CCurlDownloader::CCurlDownloader(EventCallback callback, const std::wstring& url, const std::wstring& path)
    : callback_(std::move(callback)), path_(path), url_(url), client_(url, path, this)
{
    CurlSupport::EnsureGlobalInit();
    // A working file is resumed between attempts of one run, never across runs.
    // With no destination there is no working file either (not ".part" in the
    // current folder).
    if (!path_.empty()) {
        LocalFile::Remove(client_.WorkingPath());
    }
}

CCurlDownloader::~CCurlDownloader()
{
    // The current worker joins the previous one first, so this order waits for both.
    worker_.reset();
    previousWorker_.reset();
}

void CCurlDownloader::Start()
{
    // From our own callback the current worker cannot be joined: it ends as
    // soon as the callback returns, and the next worker joins and deletes it.
    // Without a thread nothing further happens.
    Utils::RestartWorker(worker_, previousWorker_, this, L"ABDEF",
                         [](void* context) { static_cast<CCurlDownloader*>(context)->dlThreadFun(); });
}

void CCurlDownloader::OnProgress(CCurlDownloader* owner, double speed, double percent)
{
    if (speed > 0.0 && percent <= 100.0) {
        owner->callback_(DL_CODE_PROGRESS, percent / 100.0, L"");
    }
}

void CCurlDownloader::dlThreadFun()
{
    // Set by the worker that started this one, before this thread was resumed.
    previousWorker_.reset();

    callback_(DL_CODE_START, 1.0, L"");
    if (path_.empty()) {
        callback_(DL_CODE_FAIL, 1.0, L"");
        return;
    }
    int budget = kBudget;
    int result = client_.Start();
    while (result != 0) {
        budget -= result == CURLE_PARTIAL_FILE ? 1 : 2;
        if (budget <= 0) {
            callback_(DL_CODE_FAIL, static_cast<double>(result), DownloadText::kLibCurl);
            return;
        }
        LOG_LINE(L"CurlDownLoader Code=%d\r\n", result);
        ::Sleep(kPauseMs);
        result = client_.Start();
    }
    Verify();
}

void CCurlDownloader::Verify()
{
    switch (VerifyChecksum(ExpectedChecksum(client_.EffectiveUrl()), path_)) {
    case ChecksumVerdict::NoChecksum:
        callback_(DL_CODE_VERIFY, 0.0, DownloadText::kCurlMd5Missing);
        callback_(DL_CODE_SUCCESS, 0.0, DownloadText::kLibCurl);
        return;
    case ChecksumVerdict::Good:
        callback_(DL_CODE_SUCCESS, 0.0, DownloadText::kLibCurl);
        return;
    case ChecksumVerdict::Mismatch:
        break;
    }
    // The mismatching file stays; the next attempt replaces it when it completes.
    callback_(DL_CODE_VERIFY, 0.0, DownloadText::kCurlMd5Mismatch);
    if (retried_) {
        callback_(DL_CODE_FAIL, 0.0, DownloadText::kLibCurl);
        return;
    }
    retried_ = true;
    // May call Start on this very thread (see Start).
    callback_(DL_CODE_RETRY, 0.0, DownloadText::kLibCurl);
}
