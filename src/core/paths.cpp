#include "paths.h"

#include <windows.h>

namespace Utils {

namespace {

constexpr size_t kMaxPathChars = 259;
const wchar_t kTempFolderName[] = L"~ZorvaTemp.92482B06FB471E17\\";

} // namespace

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring GetInstallerTempDir()
{
    wchar_t temp[MAX_PATH] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    std::wstring dir = std::wstring(temp, n) + kTempFolderName;
    if (dir.size() > kMaxPathChars) {
        return {};
    }
    if (DirectoryExists(dir) || ::CreateDirectoryW(dir.c_str(), nullptr)) {
        return dir;
    }
    return {};
}

bool CreateDirectoryPath(const std::wstring& path)
{
    if (path.size() > kMaxPathChars) {
        return false;
    }
    for (size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
        const std::wstring prefix = path.substr(0, slash + 1);
        if (!PathExists(prefix) && !::CreateDirectoryW(prefix.c_str(), nullptr)) {
            return false;
        }
    }
    const size_t last = path.rfind(L'\\');
    if (last != path.size() - 1 && !PathExists(path) && !::CreateDirectoryW(path.c_str(), nullptr)) {
        return false;
    }
    // A file where the folder should be is no folder.
    return path.empty() ? false : DirectoryExists(path);
}

std::wstring GetModuleDirectory()
{
    wchar_t module[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, n < MAX_PATH ? n : 0);
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

} // namespace Utils
