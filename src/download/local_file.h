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
    File(const std::wstring& path, const wchar_t* mode) { Open(path, mode); }
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool Open(const std::wstring& path, const wchar_t* mode);
    void Close();
    FILE* Get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }

private:
    FILE* file_ = nullptr;
};

} // namespace LocalFile
