#pragma once
// Setup packages for the download tests, generated at test time into the
// servers' folder as <md5>/<name>, the layout the checksum is read from.
#include <string>

#include "servers.h"

namespace TestKit {

struct Package {
    std::string name;  // UTF-8
    std::string md5;   // of bytes, 32 lower-case hex digits
    std::wstring path; // the served copy
    std::string bytes;
    std::string dir;   // the folder above name: md5, or whatever MakePackageUnder got

    // "/<dir>/<name>" (dir is the md5 unless made by MakePackageUnder), raw UTF-8.
    std::string Rel() const { return "/" + dir + "/" + name; }
};

// `size` deterministic bytes of `seed` at WwwDir()\<md5>\<name>; name defaults
// to "pkg-<size>-<seed>.exe". A gtest failure when the file cannot be written.
Package MakePackage(const Servers& servers, size_t size, unsigned seed, const std::string& name = "");

// Given bytes (a real program, say) at WwwDir()\<md5>\<name>.
Package MakePackageOf(const Servers& servers, const std::string& bytes, const std::string& name);

// The same bytes under a folder whose name is not their md5 (a checksum that
// cannot match), e.g. dirName "0123456789abcdef0123456789abcdef".
Package MakePackageUnder(const Servers& servers, size_t size, unsigned seed, const std::string& dirName,
                         const std::string& name = "");

} // namespace TestKit
