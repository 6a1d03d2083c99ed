#include "packages.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "files.h"
#include "md5.h"
#include "paths.h"
#include "text.h"

namespace TestKit {

namespace {

// Test cases run as parallel processes and may ask for the same package: a
// file that already holds the bytes is kept (a server may be sending it), and
// a new one appears whole, by renaming a private copy.
bool Publish(const std::wstring& path, const std::string& bytes)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes) &&
        attributes.nFileSizeHigh == 0 && attributes.nFileSizeLow == bytes.size() && ReadBytes(path) == bytes) {
        return true;
    }
    std::wstring temp = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
                        std::to_wstring(::GetTickCount()) + L".tmp";
    if (!WriteBytes(temp, bytes)) {
        return false;
    }
    if (!::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ::DeleteFileW(temp.c_str());
        return ReadBytes(path) == bytes;
    }
    return true;
}

Package Make(const Servers& servers, std::string bytes, const std::string& dirName, const std::string& name)
{
    Package package;
    package.bytes = std::move(bytes);
    Utils::Md5 md5;
    md5.Update(package.bytes.data(), package.bytes.size());
    package.md5 = md5.HexDigest();
    package.dir = dirName.empty() ? package.md5 : dirName;
    package.name = name;
    std::wstring folder = servers.WwwDir() + L"\\" + Utils::Utf8ToUnicode(package.dir);
    package.path = folder + L"\\" + Utils::Utf8ToUnicode(package.name);
    if (!servers.Ok()) {
        return package;
    }
    // Another test process may create the folder at the same moment.
    const bool folderReady = Utils::CreateDirectoryPath(folder) || Utils::DirectoryExists(folder);
    if (!folderReady || !Publish(package.path, package.bytes)) {
        ADD_FAILURE() << "cannot write the package " << Utils::UnicodeToUtf8(package.path);
    }
    return package;
}

std::string DefaultName(size_t size, unsigned seed)
{
    return "pkg-" + std::to_string(size) + "-" + std::to_string(seed) + ".exe";
}

} // namespace

Package MakePackage(const Servers& servers, size_t size, unsigned seed, const std::string& name)
{
    return Make(servers, RandomBytes(size, seed), "", name.empty() ? DefaultName(size, seed) : name);
}

Package MakePackageOf(const Servers& servers, const std::string& bytes, const std::string& name)
{
    return Make(servers, bytes, "", name);
}

Package MakePackageUnder(const Servers& servers, size_t size, unsigned seed, const std::string& dirName,
                         const std::string& name)
{
    return Make(servers, RandomBytes(size, seed), dirName.empty() ? "not-the-md5" : dirName,
                name.empty() ? DefaultName(size, seed) : name);
}

} // namespace TestKit
