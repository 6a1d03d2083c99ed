#include <gtest/gtest.h>

#include "checksum.h"
#include "downloader.h"
#include "files.h"
#include "temp_dir.h"

TEST(DownloaderSelection, OnlyTwoAndThreeLeaveTheSingleStream)
{
    const struct {
        int32_t type;
        DownloaderKind kind;
    } cases[] = {
        {2, DownloaderKind::WinHttp},           {3, DownloaderKind::RangedCurl},
        {0, DownloaderKind::SingleStreamCurl},  {1, DownloaderKind::SingleStreamCurl},
        {4, DownloaderKind::SingleStreamCurl},  {-1, DownloaderKind::SingleStreamCurl},
        {2147483647, DownloaderKind::SingleStreamCurl},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.kind, SelectDownloader(c.type)) << c.type;
    }
}

TEST(Checksum, ComesFromTheDirectoryAboveTheFileName)
{
    EXPECT_EQ("0123456789abcdef0123456789abcdef",
              ExpectedChecksum("http://127.0.0.1:8080/0123456789abcdef0123456789abcdef/setup.exe"));
    EXPECT_EQ("ab", ExpectedChecksum("http://127.0.0.1/ab/setup.exe"));
    EXPECT_EQ("", ExpectedChecksum("setup.exe"));
}

TEST(Checksum, Verdicts)
{
    TestKit::TempDir dir;
    const std::wstring file = dir / L"pkg.exe";
    ASSERT_TRUE(TestKit::WriteBytes(file, "abc"));
    const std::string abc = "900150983cd24fb0d6963f7d28e17f72";
    std::string upper = abc;
    for (auto& c : upper) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(ChecksumVerdict::Good, VerifyChecksum(abc, file));
    EXPECT_EQ(ChecksumVerdict::Mismatch, VerifyChecksum(upper, file)) << "compared exactly, case included";
    EXPECT_EQ(ChecksumVerdict::Mismatch, VerifyChecksum(std::string(32, '0'), file));
    EXPECT_EQ(ChecksumVerdict::NoChecksum, VerifyChecksum("ab", file));
    EXPECT_EQ(ChecksumVerdict::NoChecksum, VerifyChecksum(abc + "0", file));
    EXPECT_EQ(ChecksumVerdict::Good, VerifyChecksum(abc, dir / L"missing.exe")) << "an unreadable file counts as good";
}
