#pragma once
// Free space of the volume that holds the install folder.
#include <windows.h>

#include <string>

namespace Utils {

// An installation needs this many bytes available to the caller (1 GiB).
constexpr ULONGLONG kRequiredFreeBytes = 1073741824ULL;

class HardDiskManager {
public:
    virtual ~HardDiskManager() = default;

    // Fills the counters from GetDiskFreeSpaceExW; on failure logs the error,
    // leaves them as they were and returns false.
    bool CheckFreeSpace(const std::wstring& folder);

    ULONGLONG freeBytesAvailable = 0; // to the caller (quotas apply)
    ULONGLONG totalBytes = 0;
    ULONGLONG totalFreeBytes = 0;
};

// The install decision on the caller's available bytes.
bool HasEnoughSpace(ULONGLONG bytesAvailable);

// CheckFreeSpace on `drive` (such as L"C:") then HasEnoughSpace; a failed query counts as no space.
bool DriveHasRoom(const std::wstring& drive);

} // namespace Utils
