#pragma once
// The contract every downloader keeps: constructed from (callback, source
// address, destination path), Start() returns at once and the attempt runs on
// the downloader's own threads, reporting only through the callback.
//
// Every attempt sends 1001, zero or more 1002, and exactly one of 1003, 1004
// or 1005 (possibly after one 1006). A downloader sends 1005 at most once in
// its life; the owner answers it by calling Start() again, from inside the
// callback.
#include <cstdint>

#include "event_callback.h"

enum DownloadEventCode : int32_t {
    DL_CODE_START = 1001,    // value 1.0
    DL_CODE_PROGRESS = 1002, // value: fraction done, 0.0 to 1.0; at most once a second
    DL_CODE_SUCCESS = 1003,  // value 0.0, text "LibCurl": the destination is complete
    DL_CODE_FAIL = 1004,     // value: the error that ended the attempt; failed for good
    DL_CODE_RETRY = 1005,    // as 1004; the downloader expects Start() once more
    DL_CODE_VERIFY = 1006,   // a note about the checksum, before 1003, 1004 or 1005
};

namespace DownloadText {
inline constexpr wchar_t kLibCurl[] = L"LibCurl";
inline constexpr wchar_t kCurlMd5Mismatch[] = L"curl文件md5校验失败";
inline constexpr wchar_t kCurlMd5Missing[] = L"curl获取url-md5失败";
inline constexpr wchar_t kMtCurlMd5Mismatch[] = L"mtcurl文件md5校验失败";
inline constexpr wchar_t kMtCurlMd5Missing[] = L"mtcurl获取url-md5失败";
inline constexpr wchar_t kWinHttp[] = L"WinHttp";
inline constexpr wchar_t kWinHttpMd5Mismatch[] = L"winhttp文件md5校验失败";
inline constexpr wchar_t kWinHttpMd5Missing[] = L"winhttp获取url-md5失败";
} // namespace DownloadText

class CDownloader {
public:
    virtual ~CDownloader() = default;
    virtual void Start() = 0;
};

// Which downloader a DownloadType setting selects.
enum class DownloaderKind { SingleStreamCurl, RangedCurl, WinHttp };
DownloaderKind SelectDownloader(int32_t downloadType);
