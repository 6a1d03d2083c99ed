#pragma once
// The expected MD5 of a package travels in its address: the directory name
// just above the file name of the effective address (after redirects).
#include <string>

enum class ChecksumVerdict {
    NoChecksum, // the address carries no 32-character checksum: the file counts as good
    Good,       // digests equal, or the file could not be read (no comparison made)
    Mismatch,
};

std::string ExpectedChecksum(const std::string& effectiveUrl);

// Compares exactly, byte for byte: an upper-case expected checksum never matches.
ChecksumVerdict VerifyChecksum(const std::string& expected, const std::wstring& file);
