#include "files.h"

#include <windows.h>

#include "handle.h"
#include "paths.h"

namespace TestKit {

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    Utils::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return bytes.empty() ||
           (::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size());
}

std::string ReadBytes(const std::wstring& path)
{
    Utils::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) {
        return bytes;
    }
    char block[65536];
    DWORD got = 0;
    while (::ReadFile(file.Get(), block, sizeof(block), &got, nullptr) && got > 0) {
        bytes.append(block, got);
    }
    return bytes;
}

bool CopyTo(const std::wstring& from, const std::wstring& to) { return ::CopyFileW(from.c_str(), to.c_str(), FALSE); }

std::wstring BinDir() { return Utils::GetModuleDirectory(); }

std::wstring BinFile(const std::wstring& name) { return BinDir() + L"\\" + name; }

std::string RandomBytes(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<char>(x >> 24);
    }
    return bytes;
}

} // namespace TestKit
