#pragma once
#include <string>

namespace Utils {

// The installer's private folder under the user's temporary path, with a
// trailing backslash; created when missing. Empty when it can't be had.
std::wstring GetInstallerTempDir();

// Makes sure the folder and every missing parent exist. False for paths over
// 259 characters, when a folder cannot be created, or when a file is in the way.
bool CreateDirectoryPath(const std::wstring& path);

// Folder of the running executable, without the trailing backslash.
std::wstring GetModuleDirectory();

bool DirectoryExists(const std::wstring& path);
bool PathExists(const std::wstring& path);
// A path that exists and is not a folder.
bool FileExists(const std::wstring& path);

} // namespace Utils
