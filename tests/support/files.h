#pragma once
#include <string>

namespace TestKit {

bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Empty when the file cannot be read.
std::string ReadBytes(const std::wstring& path);
bool CopyTo(const std::wstring& from, const std::wstring& to);
// Folder of the test executable; every program of the build lives there.
std::wstring BinDir();
// BinDir() + "\\" + name.
std::wstring BinFile(const std::wstring& name);
// Deterministic pseudo-random bytes.
std::string RandomBytes(size_t size, unsigned seed);

} // namespace TestKit
