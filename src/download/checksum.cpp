#include "checksum.h"

#include "md5.h"
#include "url.h"

std::string ExpectedChecksum(const std::string& effectiveUrl) { return Utils::GetParentUrlSegment(effectiveUrl); }

ChecksumVerdict VerifyChecksum(const std::string& expected, const std::wstring& file)
{
    if (expected.size() != 32) {
        return ChecksumVerdict::NoChecksum;
    }
    const std::string actual = Utils::GetFileMD5(file);
    if (actual.size() != 32 || actual == expected) {
        return ChecksumVerdict::Good;
    }
    return ChecksumVerdict::Mismatch;
}
