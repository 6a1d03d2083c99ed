#pragma once
// One byte range of the ranged downloader: its node, the split of a package
// into ranges, and the libcurl write hook that stores a range in its part file.
#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "local_file.h"

class CMTCurlDownloader;

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasyHandle = std::unique_ptr<CURL, CurlEasyCleanup>;

// Written only by its part thread while that runs; the waiter reads it after
// every part thread has ended. Only `received` is read across threads.
struct DownloadPartNode {
    LocalFile::File file;   // open for appending while the part is fetched
    int32_t nextOffset = 0; // absolute position of the next byte to fetch
    int32_t lastOffset = -1; // absolute position of the part's last byte (inclusive)
    CurlEasyHandle handle;  // reused for every transfer of the part
    std::string address;    // the effective address
    std::wstring partPath;  // destination + L"_" + index
    int32_t status = -1;    // -1 not finished, 0 complete, -2 no part file, else libcurl's result
    std::atomic<int64_t> received{0}; // bytes in the part file
    // Cleared before each transfer: the first write of a transfer checks the answer's status.
    bool statusChecked = false;
    CMTCurlDownloader* owner = nullptr;

    bool Complete() const { return nextOffset > lastOffset; }
};

struct PartRange {
    int32_t first;
    int32_t last; // inclusive
};

// One range below 20971520 bytes, two from there on; the last takes the remainder.
std::vector<PartRange> SplitLength(int32_t length);

// The write hook (data, size, count, part). Reads the response status from
// the part's handle on the first write of a transfer.
size_t PartWriter(char* data, size_t size, size_t count, void* part);

// What the hook does once the status is known. `responseCode` is looked at
// only on the first write of a transfer: a 200 (the whole body) for a range
// that does not start at byte 0 is refused, nothing is stored. Returns the
// bytes stored; fewer than `n` makes libcurl abort the transfer.
size_t WritePartChunk(DownloadPartNode& part, const char* data, size_t n, long responseCode);
