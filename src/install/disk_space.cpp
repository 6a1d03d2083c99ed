#include "disk_space.h"

#include "log.h"

namespace Utils {

bool HardDiskManager::CheckFreeSpace(const std::wstring& folder)
{
    // Locals, so a failed call cannot touch the counters.
    ULARGE_INTEGER available{}, total{}, free{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, &total, &free)) {
        LOG_LINE(L"HardDiskManager::CheckFreeSpace FAIL code=%ld\r\n", static_cast<long>(::GetLastError()));
        return false;
    }
    freeBytesAvailable = available.QuadPart;
    totalBytes = total.QuadPart;
    totalFreeBytes = free.QuadPart;
    return true;
}

bool HasEnoughSpace(ULONGLONG bytesAvailable)
{
    return bytesAvailable >= kRequiredFreeBytes;
}

bool DriveHasRoom(const std::wstring& drive)
{
    HardDiskManager disk;
    disk.freeBytesAvailable = disk.totalBytes = disk.totalFreeBytes = 0;
    disk.CheckFreeSpace(drive);
    return HasEnoughSpace(disk.freeBytesAvailable);
}

} // namespace Utils
