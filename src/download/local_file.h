#pragma once
// Working files of the downloaders, by wide path: a user folder whose name the
// ANSI code page cannot hold (a Cyrillic user name on an English system) must
// work as well as any other.
#include <cstdint>
#include <cstdio>
#include <string>

namespace LocalFile {

// Size in bytes, or -1 when the file's status cannot be read.
int64_t Size(const std::wstring& path);
bool Remove(const std::wstring& path);
bool Rename(const std::wstring& from, const std::wstring& to);

// The C runtime's buffered file, opened with a wide path; closed on destruction.
class File {
public:
    File() = default;
    File(const std::wstring& path, const wchar_t* mode, size_t bufferBytes = 0) { Open(path, mode, bufferBytes); }
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // bufferBytes > 0 gives the stream a buffer of that size instead of the
    // runtime's 4 KiB: every flush is one system call, and under Wine each
    // call is dear (in append mode twice so, a seek to the end comes first).
    // A buffer that cannot be had leaves the default; the file is open anyway.
    bool Open(const std::wstring& path, const wchar_t* mode, size_t bufferBytes = 0);
    // False when what was still buffered could not be written (a full disk).
    bool Close();
    FILE* Get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }

private:
    FILE* file_ = nullptr;
};

} // namespace LocalFile
