#include "downloader_factory.h"

#include "curl_downloader.h"
#include "mt_curl_downloader.h"
#include "winhttp_downloader.h"

std::unique_ptr<CDownloader> MakeDownloader(DownloaderKind kind, EventCallback callback, const std::wstring& url,
                                            const std::wstring& path)
{
    switch (kind) {
    case DownloaderKind::WinHttp:
        return std::make_unique<WinHttpDownloader>(std::move(callback), url, path);
    case DownloaderKind::RangedCurl:
        return std::make_unique<CMTCurlDownloader>(std::move(callback), url, path);
    case DownloaderKind::SingleStreamCurl:
        break;
    }
    return std::make_unique<CCurlDownloader>(std::move(callback), url, path);
}
