#pragma once
#include <string>

namespace TestKit {

// A fresh folder under the temporary path, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, without a trailing backslash.
    const std::wstring& Path() const { return path_; }
    // Path() + L"\\" + name.
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Deletes a file or a folder tree; true when nothing is left.
bool RemoveTree(const std::wstring& path);

} // namespace TestKit
