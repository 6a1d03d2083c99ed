// MD5 of memory and files: known digests, arbitrary feeding, file-opening cases.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files.h"
#include "md5.h"
#include "temp_dir.h"
#include "text.h"

namespace {

// Wine stores non-ASCII file names only when the Unix locale is UTF-8.
const char kUtf8LocaleHint[] = "cannot create a non-ASCII name: is the Unix locale (LANG, LC_ALL) UTF-8?";

std::string DigestWhole(const std::string& data)
{
    Utils::Md5 md5;
    md5.Update(data.data(), data.size());
    return md5.HexDigest();
}

// Feeds data in the given piece sizes, cycling through them until all is in.
std::string DigestInPieces(const std::string& data, const std::vector<size_t>& pieces)
{
    Utils::Md5 md5;
    size_t at = 0;
    for (size_t i = 0; at < data.size(); ++i) {
        const size_t take = std::min(pieces[i % pieces.size()], data.size() - at);
        md5.Update(data.data() + at, take);
        at += take;
    }
    return md5.HexDigest();
}

struct DigestCase {
    std::string data;
    const char* digest;
};

std::vector<DigestCase> KnownDigests()
{
    std::string allBytes;
    for (int i = 0; i < 256; ++i) {
        allBytes += static_cast<char>(i);
    }
    std::string eighty;
    for (int i = 0; i < 8; ++i) {
        eighty += "1234567890";
    }
    return {
        // RFC 1321, appendix A.5
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {eighty, "57edf4a22be3c955ac49da2e2107b67a"},
        // Lengths around the padding boundary: the length field fits after 55 bytes, not after 56.
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(57, 'a'), "652b906d60af96844ebd21b674f35e93"},
        {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
        {std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
        {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
        {std::string(121, 'a'), "f6acfca2d47c87f2b14ca038234d3614"},
        {std::string(127, 'a'), "020406e1d05cdc2aa287641f7ae2cc39"},
        {std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70"},
        {std::string(129, 'a'), "b325dc1c6f5e7a2b7cf465b9feab7948"},
        // Bytes with the high bit set catch sign-extension mistakes.
        {allBytes, "e2c865db4162bed963bfaa9ef6ac18f0"},
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
}

TEST(Md5, KnownDigests)
{
    for (const auto& c : KnownDigests()) {
        SCOPED_TRACE(c.data.size() > 80 ? std::to_string(c.data.size()) + " bytes" : c.data);
        EXPECT_EQ(DigestWhole(c.data), c.digest);
        EXPECT_EQ(DigestInPieces(c.data, {1}), c.digest);
    }
}

TEST(Md5, PieceSizesDoNotMatter)
{
    const std::vector<std::vector<size_t>> splits = {
        {1}, {63}, {64}, {65}, {55}, {56}, {127, 1}, {1, 63}, {3, 61, 64, 65}, {1000}, {4096},
    };
    for (size_t size : {size_t(0), size_t(1), size_t(63), size_t(64), size_t(65), size_t(4099), size_t(70000)}) {
        const std::string data = TestKit::RandomBytes(size, static_cast<unsigned>(size) + 1);
        const std::string whole = DigestWhole(data);
        for (const auto& pieces : splits) {
            SCOPED_TRACE(testing::Message() << size << " bytes, pieces of " << testing::PrintToString(pieces));
            EXPECT_EQ(DigestInPieces(data, pieces), whole);
        }
    }
}

TEST(Md5, RandomSplitsMatchWholeDigest)
{
    const std::string data = TestKit::RandomBytes(20000, 7);
    const std::string whole = DigestWhole(data);
    unsigned x = 12345;
    for (int round = 0; round < 50; ++round) {
        Utils::Md5 md5;
        size_t at = 0;
        while (at < data.size()) {
            x = x * 1103515245u + 12345u;
            // Mostly small pieces, sometimes empty ones, sometimes several blocks.
            const size_t wanted = (x >> 16) % 7 == 0 ? (x >> 8) % 300 : (x >> 8) % 70;
            const size_t take = std::min(wanted, data.size() - at);
            md5.Update(data.data() + at, take);
            at += take;
        }
        EXPECT_EQ(md5.HexDigest(), whole) << "round " << round;
    }
}

class FileMd5Test : public testing::Test {
protected:
    TestKit::TempDir dir_;
};

TEST_F(FileMd5Test, EmptyPathGivesEmpty)
{
    EXPECT_EQ(Utils::GetFileMD5(std::string()), "");
    EXPECT_EQ(Utils::GetFileMD5(std::wstring()), "");
}

TEST_F(FileMd5Test, MissingFileGivesEmpty)
{
    EXPECT_EQ(Utils::GetFileMD5(dir_ / L"missing.bin"), "");
    EXPECT_EQ(Utils::GetFileMD5(Utils::UnicodeToMultiByte(dir_ / L"missing.bin", CP_ACP)), "");
    EXPECT_EQ(Utils::GetFileMD5(dir_ / L"no-such-folder\\missing.bin"), "");
}

TEST_F(FileMd5Test, DirectoryGivesEmpty)
{
    EXPECT_EQ(Utils::GetFileMD5(dir_.Path()), "");
    EXPECT_EQ(Utils::GetFileMD5(dir_.Path() + L"\\"), "");
}

TEST_F(FileMd5Test, DigestsFileContents)
{
    const struct {
        const wchar_t* name;
        std::string bytes;
    } files[] = {
        {L"empty.bin", ""},
        {L"abc.txt", "abc"},
        {L"\x041F\x0440\x0438\x0432\x0435\x0442.bin", "message digest"}, // Привет.bin
        {L"\x4E2D\x6587.bin", "abc"},                                       // 中文.bin
        // Larger than the read block, so several reads and a short last one.
        {L"big.bin", TestKit::RandomBytes(2 * 256 * 1024 + 13, 99)},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(Utils::UnicodeToUtf8(f.name));
        const std::wstring path = dir_ / f.name;
        ASSERT_TRUE(TestKit::WriteBytes(path, f.bytes)) << kUtf8LocaleHint;
        EXPECT_EQ(Utils::GetFileMD5(path), DigestWhole(f.bytes));
    }
    EXPECT_EQ(Utils::GetFileMD5(dir_ / L"empty.bin"), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Utils::GetFileMD5(dir_ / L"abc.txt"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(FileMd5Test, NarrowAsciiPath)
{
    const std::wstring path = dir_ / L"abc.txt";
    ASSERT_TRUE(TestKit::WriteBytes(path, "abc"));
    EXPECT_EQ(Utils::GetFileMD5(Utils::UnicodeToMultiByte(path, CP_ACP)), "900150983cd24fb0d6963f7d28e17f72");
}

// In the AnsiCodePage suite, so it also runs with Russian and Chinese ANSI code pages.
TEST(AnsiCodePage, FileMd5NarrowPathBeyondAscii)
{
    TestKit::TempDir dir;
    const std::wstring names[] = {L"caf\x00E9.bin", L"\x041F\x0440\x0438.bin", L"\x4E2D\x6587.bin"};
    int tried = 0;
    for (const auto& name : names) {
        const std::wstring wide = dir / name;
        const std::string narrow = Utils::UnicodeToMultiByte(wide, CP_ACP);
        if (Utils::MultiByteToUnicode(narrow, CP_ACP) != wide) {
            continue; // this code page cannot hold the name
        }
        SCOPED_TRACE(Utils::UnicodeToUtf8(name));
        ++tried;
        ASSERT_TRUE(TestKit::WriteBytes(wide, "a")) << kUtf8LocaleHint;
        EXPECT_EQ(Utils::GetFileMD5(narrow), "0cc175b9c0f1b6a831c399e269772661");
    }
    if (tried == 0) {
        GTEST_SKIP() << "the ANSI code page " << ::GetACP() << " holds none of the names";
    }
}

// Serves some bytes through a pipe, then goes away: the reader's next read fails.
DWORD WINAPI ServeThenBreak(void* pipe)
{
    if (::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED) {
        DWORD written = 0;
        ::WriteFile(pipe, "abc", 3, &written, nullptr);
    }
    ::CloseHandle(pipe);
    return 0;
}

TEST_F(FileMd5Test, ReadFailureGivesEmpty)
{
    // A digest of the bytes read before the failure would pass for the file's.
    const std::wstring name = L"\\\\.\\pipe\\zorva-md5-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE pipe = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                                     0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    HANDLE server = ::CreateThread(nullptr, 0, ServeThenBreak, pipe, 0, nullptr);
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(Utils::GetFileMD5(name), "");
    // Should the pipe never have been opened, connect once so the server thread can end.
    HANDLE client = ::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (client != INVALID_HANDLE_VALUE) {
        ::CloseHandle(client);
    }
    ::WaitForSingleObject(server, INFINITE);
    ::CloseHandle(server);
}

} // namespace
