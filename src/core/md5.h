#pragma once
// MD5 (RFC 1321) of memory and of files.
#include <cstddef>
#include <cstdint>
#include <string>

namespace Utils {

class Md5 {
public:
    Md5();
    void Update(const void* data, size_t size);
    // Finishes the digest; the object must not be updated afterwards.
    std::string HexDigest();

private:
    void Transform(const uint8_t* block);

    uint32_t state_[4];
    uint64_t length_ = 0;
    uint8_t buffer_[64];
    size_t buffered_ = 0;
};

// 32 lower-case hex digits of the file's bytes, or empty text when the path is
// empty or the file cannot be opened or read. The narrow path is in the ANSI code page.
std::string GetFileMD5(const std::string& path);
std::string GetFileMD5(const std::wstring& path);

} // namespace Utils
