#include "downloader.h"

DownloaderKind SelectDownloader(int32_t downloadType)
{
    switch (downloadType) {
    case 2:
        return DownloaderKind::WinHttp;
    case 3:
        return DownloaderKind::RangedCurl;
    default:
        return DownloaderKind::SingleStreamCurl;
    }
}
