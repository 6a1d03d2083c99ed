#include "part_writer.h"

#include <cstdio>

namespace {

constexpr int32_t kPartBytes = 10485760; // 10 MiB
constexpr int32_t kMaxParts = 2;
constexpr long kWholeBody = 200;

} // namespace

std::vector<PartRange> SplitLength(int32_t length)
{
    std::vector<PartRange> ranges;
    if (length <= 0) {
        return ranges;
    }
    int32_t parts = length / kPartBytes;
    if (parts == 0) {
        parts = 1;
    }
    if (parts > kMaxParts) {
        parts = kMaxParts;
    }
    const int32_t size = length / parts;
    int32_t offset = 0;
    for (int32_t i = 0; i < parts; ++i) {
        const int32_t end = i + 1 == parts ? length : offset + size;
        ranges.push_back({offset, end - 1});
        offset = end;
    }
    return ranges;
}

size_t WritePartChunk(DownloadPartNode& part, const char* data, size_t n, long responseCode)
{
    if (!part.file || part.Complete()) {
        return 0;
    }
    if (!part.statusChecked) {
        part.statusChecked = true;
        // A server that ignores Range sends the package from byte 0: those
        // bytes belong at this position only when the range starts there.
        if (responseCode == kWholeBody && part.nextOffset > 0) {
            return 0;
        }
    }
    const size_t room = static_cast<size_t>(part.lastOffset - part.nextOffset) + 1;
    const size_t wanted = n <= room ? n : room;
    const size_t written = std::fwrite(data, 1, wanted, part.file.Get());
    part.nextOffset += static_cast<int32_t>(written);
    part.received += static_cast<int64_t>(written);
    return written;
}

size_t PartWriter(char* data, size_t size, size_t count, void* user)
{
    auto* part = static_cast<DownloadPartNode*>(user);
    if (part == nullptr) {
        return 0;
    }
    long responseCode = 0;
    if (!part->statusChecked && part->handle) {
        (void)curl_easy_getinfo(part->handle.get(), CURLINFO_RESPONSE_CODE, &responseCode);
    }
    return WritePartChunk(*part, data, size * count, responseCode);
}
