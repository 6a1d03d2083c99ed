#include "temp_dir.h"

#include <windows.h>

#include "guid.h"

namespace TestKit {

bool RemoveTree(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return ::DeleteFileW(path.c_str()) != FALSE;
    }
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") {
                RemoveTree(path + L"\\" + name);
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

TempDir::TempDir()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"zt-" + Utils::CreateGuidString();
    ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() { RemoveTree(path_); }

} // namespace TestKit
