#pragma once
// Makes the downloader a DownloadType setting selects.
#include <memory>
#include <string>

#include "downloader.h"

std::unique_ptr<CDownloader> MakeDownloader(DownloaderKind kind, EventCallback callback, const std::wstring& url,
                                            const std::wstring& path);
