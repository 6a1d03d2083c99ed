// The installer's temporary folder and nested folder creation, on Wine's real file system.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "files.h"
#include "paths.h"
#include "temp_dir.h"

namespace {

const wchar_t kTempFolderName[] = L"~ZorvaTemp.92482B06FB471E17\\";

// Wine stores non-ASCII file names only when the Unix locale is UTF-8.
const char kUtf8LocaleHint[] = "cannot create a non-ASCII name: is the Unix locale (LANG, LC_ALL) UTF-8?";

// Sets TMP and TEMP for this process and puts the old values back afterwards.
class TempVariables {
public:
    explicit TempVariables(const std::wstring& value)
    {
        for (auto& saved : saved_) {
            wchar_t buffer[32768];
            const DWORD n = ::GetEnvironmentVariableW(saved.name, buffer, 32768);
            saved.present = n > 0 && n < 32768;
            saved.value.assign(buffer, saved.present ? n : 0);
            ::SetEnvironmentVariableW(saved.name, value.c_str());
        }
    }
    ~TempVariables()
    {
        for (const auto& saved : saved_) {
            ::SetEnvironmentVariableW(saved.name, saved.present ? saved.value.c_str() : nullptr);
        }
    }
    TempVariables(const TempVariables&) = delete;
    TempVariables& operator=(const TempVariables&) = delete;

private:
    struct Saved {
        const wchar_t* name;
        bool present;
        std::wstring value;
    };
    Saved saved_[2] = {{L"TMP", false, {}}, {L"TEMP", false, {}}};
};

std::wstring TempPath()
{
    wchar_t temp[MAX_PATH] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp, n < MAX_PATH ? n : 0);
}

// Long paths are checked through the \\?\ form, which has no length limit of its own.
bool ExistsLong(const std::wstring& path) { return Utils::PathExists(L"\\\\?\\" + path); }

// Every level of path below base, made without any length limit.
void MakeFoldersLong(const std::wstring& base, const std::wstring& path)
{
    for (size_t slash = path.find(L'\\', base.size() + 1);; slash = path.find(L'\\', slash + 1)) {
        const std::wstring level = L"\\\\?\\" + path.substr(0, slash);
        ASSERT_TRUE(Utils::DirectoryExists(level) || ::CreateDirectoryW(level.c_str(), nullptr))
            << testing::PrintToString(level);
        if (slash == std::wstring::npos) {
            return;
        }
    }
}

// base + "\" + folders of at most 60 characters, exactly total characters long.
std::wstring PathOfLength(const std::wstring& base, size_t total)
{
    std::wstring path = base;
    for (wchar_t letter = L'a'; path.size() < total; ++letter) {
        const size_t room = total - path.size() - 1;
        path += L"\\" + std::wstring(room > 60 ? 50 : room, letter);
    }
    return path;
}

void ExpectNoDrive(wchar_t letter)
{
    const std::wstring root = std::wstring(1, letter) + L":\\";
    ASSERT_EQ(::GetDriveTypeW(root.c_str()), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "drive " << letter
                                                                                    << ": exists here";
}

class InstallerTempDirTest : public testing::Test {
protected:
    TestKit::TempDir dir_;
};

TEST_F(InstallerTempDirTest, CreatedUnderTheTemporaryPath)
{
    TempVariables tmp(dir_.Path() + L"\\");
    const std::wstring expected = dir_.Path() + L"\\" + kTempFolderName;
    ASSERT_FALSE(Utils::PathExists(expected));

    EXPECT_EQ(Utils::GetInstallerTempDir(), expected);
    EXPECT_TRUE(Utils::DirectoryExists(expected));
    // Once it exists it is simply handed out again.
    EXPECT_EQ(Utils::GetInstallerTempDir(), expected);
    EXPECT_TRUE(Utils::DirectoryExists(expected));
}

TEST_F(InstallerTempDirTest, DefaultTemporaryPath)
{
    const std::wstring dir = Utils::GetInstallerTempDir();
    EXPECT_EQ(dir, TempPath() + kTempFolderName);
    EXPECT_TRUE(Utils::DirectoryExists(dir));
}

TEST_F(InstallerTempDirTest, EmptyWhereItCannotBeCreated)
{
    ASSERT_NO_FATAL_FAILURE(ExpectNoDrive(L'Q'));
    const std::wstring file = dir_ / L"file.bin";
    ASSERT_TRUE(TestKit::WriteBytes(file, "x"));
    for (const std::wstring& tmp : {std::wstring(L"Q:\\missing\\"), file + L"\\"}) {
        SCOPED_TRACE(testing::PrintToString(tmp));
        TempVariables variables(tmp);
        EXPECT_EQ(Utils::GetInstallerTempDir(), L"");
    }
}

TEST_F(InstallerTempDirTest, LengthLimit)
{
    const size_t nameLength = std::wstring(kTempFolderName).size();
    // The temporary folder exists in both cases, so only the length decides.
    const struct {
        size_t total;
        bool allowed;
    } cases[] = {{259, true}, {260, false}, {270, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.total);
        const std::wstring tmp = PathOfLength(dir_ / std::to_wstring(c.total), c.total - nameLength - 1);
        ASSERT_NO_FATAL_FAILURE(MakeFoldersLong(dir_.Path(), tmp));
        TempVariables variables(tmp + L"\\");
        const std::wstring expected = tmp + L"\\" + kTempFolderName;
        ASSERT_EQ(expected.size(), c.total);
        if (c.allowed) {
            EXPECT_EQ(Utils::GetInstallerTempDir(), expected);
            EXPECT_TRUE(ExistsLong(expected));
        } else {
            EXPECT_EQ(Utils::GetInstallerTempDir(), L"");
            EXPECT_FALSE(ExistsLong(expected));
        }
    }
}

TEST(PathExists, FilesAndFolders)
{
    TestKit::TempDir dir;
    const std::wstring file = dir / L"file.bin";
    ASSERT_TRUE(TestKit::WriteBytes(file, ""));
    const struct {
        std::wstring path;
        bool exists;
        bool folder;
    } cases[] = {
        {dir.Path(), true, true},
        {dir.Path() + L"\\", true, true},
        {file, true, false},
        {dir / L"missing", false, false},
        {L"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        EXPECT_EQ(Utils::PathExists(c.path), c.exists);
        EXPECT_EQ(Utils::DirectoryExists(c.path), c.folder);
    }
}

class CreateDirectoryPathTest : public testing::Test {
protected:
    TestKit::TempDir dir_;
};

TEST_F(CreateDirectoryPathTest, CreatesEveryMissingLevel)
{
    const std::wstring paths[] = {
        dir_ / L"a\\b\\c",
        dir_ / L"t1\\t2\\",     // trailing backslash
        dir_ / L"a\\b\\c\\d",   // partly there already
        dir_ / L"\x041F\x0430\x043F\x043A\x0430\\\x4E2D\x6587", // Папка\中文
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(testing::PrintToString(path));
        EXPECT_TRUE(Utils::CreateDirectoryPath(path)) << kUtf8LocaleHint;
        for (size_t slash = path.find(L'\\', dir_.Path().size() + 1); slash != std::wstring::npos;
             slash = path.find(L'\\', slash + 1)) {
            EXPECT_TRUE(Utils::DirectoryExists(path.substr(0, slash))) << testing::PrintToString(path.substr(0, slash));
        }
        EXPECT_TRUE(Utils::DirectoryExists(path));
    }
}

TEST_F(CreateDirectoryPathTest, ExistingFolderIsFine)
{
    for (const std::wstring& path : {dir_.Path(), dir_.Path() + L"\\", TempPath(), std::wstring(L"C:\\")}) {
        SCOPED_TRACE(testing::PrintToString(path));
        EXPECT_TRUE(Utils::CreateDirectoryPath(path));
    }
}

TEST_F(CreateDirectoryPathTest, FailsWhereNoFolderCanBe)
{
    ASSERT_NO_FATAL_FAILURE(ExpectNoDrive(L'Q'));
    const std::wstring file = dir_ / L"file.bin";
    ASSERT_TRUE(TestKit::WriteBytes(file, "x"));
    const std::wstring paths[] = {
        L"Q:\\missing\\deeper",
        L"Q:\\",
        // A file is no folder, whether it stands in the folder's place or a parent's.
        file,
        file + L"\\",
        file + L"\\sub",
        file + L"\\sub\\deeper\\",
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(testing::PrintToString(path));
        EXPECT_FALSE(Utils::CreateDirectoryPath(path));
    }
    EXPECT_EQ(TestKit::ReadBytes(file), "x");
}

TEST_F(CreateDirectoryPathTest, LengthLimit)
{
    const struct {
        size_t length;
        bool created;
    } cases[] = {{258, true}, {259, true}, {260, false}, {300, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const std::wstring top = dir_ / std::to_wstring(c.length);
        const std::wstring path = PathOfLength(top, c.length);
        ASSERT_EQ(path.size(), c.length);
        EXPECT_EQ(Utils::CreateDirectoryPath(path), c.created);
        EXPECT_EQ(ExistsLong(path), c.created);
        // Too long: refused before any level is made.
        EXPECT_EQ(Utils::PathExists(top), c.created);
    }
}

} // namespace
