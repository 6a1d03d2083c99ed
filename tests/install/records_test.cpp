#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "files.h"
#include "named_turn.h"
#include "install_records.h"
#include "temp_dir.h"

using namespace Install;

namespace {

// CTest runs each case as its own process, possibly two at once; the
// record key is shared, so cases take turns through a named mutex.
class RecordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mutex_ = ::CreateMutexW(nullptr, FALSE, TestKit::kRecordKeyTurn);
        ASSERT_NE(mutex_, nullptr);
        const DWORD waited = ::WaitForSingleObject(mutex_, 120000);
        ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED);
        owned_ = true;
        DeleteRecordKey();
        SaveAppData();
    }

    void TearDown() override
    {
        RestoreAppData();
        DeleteRecordKey();
        if (owned_) {
            ::ReleaseMutex(mutex_);
        }
        if (mutex_) {
            ::CloseHandle(mutex_);
        }
    }

    static void DeleteRecordKey()
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kRecordKey);
        // Only removed when nothing else lives under it.
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\ZorvaSoft");
    }

    void SaveAppData()
    {
        wchar_t buffer[32767] = {};
        const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", buffer, 32767);
        hadAppData_ = length > 0;
        appData_ = buffer;
    }

    void RestoreAppData()
    {
        ::SetEnvironmentVariableW(L"APPDATA", hadAppData_ ? appData_.c_str() : nullptr);
    }

    static void SetAppData(const std::wstring& value) { ::SetEnvironmentVariableW(L"APPDATA", value.c_str()); }

    static std::wstring IniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key)
    {
        wchar_t value[512] = {};
        ::GetPrivateProfileStringW(section, key, L"<none>", value, 512, file.c_str());
        return value;
    }

    static DWORD RawType(const wchar_t* name, std::vector<BYTE>& data)
    {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return REG_NONE;
        }
        DWORD type = REG_NONE;
        DWORD size = 0;
        ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
        data.assign(size, 0);
        ::RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        ::RegCloseKey(key);
        return type;
    }

    static void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
        ::RegCloseKey(key);
    }

    HANDLE mutex_ = nullptr;
    bool owned_ = false;
    bool hadAppData_ = false;
    std::wstring appData_;
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

TEST_F(RecordsTest, ValueRoundTripIsRegSzWithTerminatingNul)
{
    const std::wstring path = L"C:\\Program Files\\Tarvelmoss Pelnix \x0436\x4e2d";
    ASSERT_TRUE(WriteRecordValue(kInstallPathValue, path));
    std::wstring read;
    ASSERT_TRUE(ReadRecordValue(kInstallPathValue, read));
    EXPECT_EQ(read, path);

    std::vector<BYTE> data;
    EXPECT_EQ(RawType(kInstallPathValue, data), static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(data.size(), (path.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(data[data.size() - 1], 0);
    EXPECT_EQ(data[data.size() - 2], 0);
}

// The 32-bit installer, a 64-bit product and its uninstaller must all find
// one record: HKEY_CURRENT_USER\Software is shared by both registry views
// (on 32-bit Windows the view flags are ignored).
TEST_F(RecordsTest, RecordIsTheSameInBothRegistryViews)
{
    const std::wstring path = L"C:\\Apps\\Tarvelmoss Pelnix";
    ASSERT_TRUE(WriteRecordValue(kInstallPathValue, path));
    for (const REGSAM view : {static_cast<REGSAM>(KEY_WOW64_32KEY), static_cast<REGSAM>(KEY_WOW64_64KEY)}) {
        SCOPED_TRACE(view == KEY_WOW64_32KEY ? "32-bit view" : "64-bit view");
        HKEY key = nullptr;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, KEY_READ | view, &key), ERROR_SUCCESS);
        wchar_t value[MAX_PATH] = {};
        DWORD bytes = sizeof value;
        const LONG read = ::RegQueryValueExW(key, kInstallPathValue, nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(value), &bytes);
        ::RegCloseKey(key);
        ASSERT_EQ(read, ERROR_SUCCESS);
        EXPECT_EQ(std::wstring(value), path);
    }

    // And what either view writes, the installer reads.
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    const std::wstring other = L"D:\\Pelnix\\uninst.ep";
    ASSERT_EQ(::RegSetValueExW(key, kUninstallerValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(other.c_str()),
                               static_cast<DWORD>((other.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    std::wstring read;
    ASSERT_TRUE(ReadRecordValue(kUninstallerValue, read));
    EXPECT_EQ(read, other);
}

TEST_F(RecordsTest, ValueIsOverwrittenAndMayBeEmpty)
{
    ASSERT_TRUE(WriteRecordValue(kUninstallerValue, L"C:\\old\\uninst.ep"));
    ASSERT_TRUE(WriteRecordValue(kUninstallerValue, L"D:\\new\\uninst.ep"));
    std::wstring read;
    ASSERT_TRUE(ReadRecordValue(kUninstallerValue, read));
    EXPECT_EQ(read, L"D:\\new\\uninst.ep");

    ASSERT_TRUE(WriteRecordValue(kUninstallerValue, L""));
    read = L"stale";
    EXPECT_TRUE(ReadRecordValue(kUninstallerValue, read));
    EXPECT_EQ(read, L"");
}

TEST_F(RecordsTest, MissingKeyReadsFalseAndEmpty)
{
    std::wstring read = L"stale";
    EXPECT_FALSE(ReadRecordValue(kInstallPathValue, read));
    EXPECT_EQ(read, L"");
}

TEST_F(RecordsTest, MissingValueReadsFalseAndEmpty)
{
    ASSERT_TRUE(WriteRecordValue(kInstallPathValue, L"C:\\P"));
    std::wstring read = L"stale";
    EXPECT_FALSE(ReadRecordValue(kUninstallerValue, read));
    EXPECT_EQ(read, L"");
}

TEST_F(RecordsTest, ValueWithoutNulStillReadsAsText)
{
    const std::wstring text = L"C:\\NoNul";
    SetRaw(kInstallPathValue, REG_SZ, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    std::wstring read;
    ASSERT_TRUE(ReadRecordValue(kInstallPathValue, read));
    EXPECT_EQ(read, text);
}

TEST_F(RecordsTest, ValueOfOddByteCountReadsWithoutOverrun)
{
    const char bytes[] = {'A', 0, 'B'};
    SetRaw(kInstallPathValue, REG_BINARY, bytes, 3);
    std::wstring read;
    ASSERT_TRUE(ReadRecordValue(kInstallPathValue, read));
    ASSERT_GE(read.size(), 1u);
    EXPECT_EQ(read[0], L'A');
}

TEST_F(RecordsTest, ValueTypeIsNotChecked)
{
    const std::wstring text = L"%APPDATA%\\x";
    SetRaw(kInstallPathValue, REG_EXPAND_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    std::wstring read;
    ASSERT_TRUE(ReadRecordValue(kInstallPathValue, read));
    EXPECT_EQ(read, text);
}

TEST_F(RecordsTest, LoadWithBothValues)
{
    ASSERT_TRUE(WriteRecordValue(kInstallPathValue, L"C:\\Games\\TP"));
    ASSERT_TRUE(WriteRecordValue(kUninstallerValue, L"C:\\Elsewhere\\u.ep"));
    const InstallRecord record = LoadInstallRecord();
    EXPECT_EQ(record.installPath, L"C:\\Games\\TP");
    EXPECT_EQ(record.uninstallerPath, L"C:\\Elsewhere\\u.ep");
}

TEST_F(RecordsTest, LoadWithoutUninstallerDerivesUninstEp)
{
    ASSERT_TRUE(WriteRecordValue(kInstallPathValue, L"C:\\Games\\TP"));
    const InstallRecord record = LoadInstallRecord();
    EXPECT_EQ(record.installPath, L"C:\\Games\\TP");
    EXPECT_EQ(record.uninstallerPath, L"C:\\Games\\TP\\uninst.ep");
}

TEST_F(RecordsTest, LoadWithEmptyUninstallerDerivesUninstEp)
{
    ASSERT_TRUE(WriteRecordValue(kInstallPathValue, L"C:\\Games\\TP"));
    ASSERT_TRUE(WriteRecordValue(kUninstallerValue, L""));
    EXPECT_EQ(LoadInstallRecord().uninstallerPath, L"C:\\Games\\TP\\uninst.ep");
}

TEST_F(RecordsTest, LoadWithoutRecordIsEmpty)
{
    const InstallRecord record = LoadInstallRecord();
    EXPECT_EQ(record.installPath, L"");
    EXPECT_EQ(record.uninstallerPath, L"");
}

TEST_F(RecordsTest, LoadWithOnlyUninstallerKeepsIt)
{
    ASSERT_TRUE(WriteRecordValue(kUninstallerValue, L"C:\\X\\uninst.ep"));
    const InstallRecord record = LoadInstallRecord();
    EXPECT_EQ(record.installPath, L"");
    EXPECT_EQ(record.uninstallerPath, L"C:\\X\\uninst.ep");
}

struct OverrideCase {
    const char* name;
    bool sameFolder;
    const wchar_t* setIni; // nullptr: no set.ini at all
    bool keeps;
};

TEST_F(RecordsTest, OverrideRuleTable)
{
    const OverrideCase cases[] = {
        {"same folder, false", true, L"[Uninstall]\r\nIsOverride=false\r\n", true},
        {"same folder, False", true, L"[Uninstall]\r\nIsOverride=False\r\n", false},
        {"same folder, FALSE", true, L"[Uninstall]\r\nIsOverride=FALSE\r\n", false},
        {"same folder, true", true, L"[Uninstall]\r\nIsOverride=true\r\n", false},
        {"same folder, 0", true, L"[Uninstall]\r\nIsOverride=0\r\n", false},
        {"same folder, empty", true, L"[Uninstall]\r\nIsOverride=\r\n", false},
        {"same folder, false in another section", true, L"[Install]\r\nIsOverride=false\r\n", false},
        {"same folder, no Uninstall section", true, L"[Install]\r\nAppName=x\r\n", false},
        {"same folder, no set.ini", true, nullptr, false},
        {"other folder, false", false, L"[Uninstall]\r\nIsOverride=false\r\n", false},
        {"other folder, no set.ini", false, nullptr, false},
    };
    for (const OverrideCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestKit::TempDir recorded;
        TestKit::TempDir other;
        const std::wstring chosen = c.sameFolder ? recorded.Path() : other.Path();
        if (c.setIni) {
            ASSERT_TRUE(TestKit::WriteBytes(chosen + L"\\set.ini", Narrow(c.setIni)));
        }
        EXPECT_EQ(KeepsInstalledVersion(recorded.Path(), chosen), c.keeps);
    }
}

TEST_F(RecordsTest, OverrideRuleNeedsExactlyTheRecordedFolder)
{
    TestKit::TempDir recorded;
    ASSERT_TRUE(TestKit::WriteBytes(recorded / L"set.ini", "[Uninstall]\r\nIsOverride=false\r\n"));
    EXPECT_TRUE(KeepsInstalledVersion(recorded.Path(), recorded.Path()));
    // A sub-folder or the parent is another folder.
    ASSERT_TRUE(::CreateDirectoryW((recorded / L"sub").c_str(), nullptr));
    ASSERT_TRUE(TestKit::WriteBytes(recorded / L"sub\\set.ini", "[Uninstall]\r\nIsOverride=false\r\n"));
    EXPECT_FALSE(KeepsInstalledVersion(recorded.Path(), recorded / L"sub"));
    EXPECT_FALSE(KeepsInstalledVersion(recorded / L"sub", recorded.Path()));
    // No recorded folder: no relative path, no override.
    EXPECT_FALSE(KeepsInstalledVersion(L"", recorded.Path()));
}

TEST_F(RecordsTest, PathsJoinWithOneBackslash)
{
    EXPECT_EQ(SetIniPath(L"C:\\Games\\TP"), L"C:\\Games\\TP\\set.ini");
    EXPECT_EQ(SetIniPath(L"C:\\Games\\TP\\"), L"C:\\Games\\TP\\set.ini");
    EXPECT_EQ(SetIniPath(L""), L"");
    EXPECT_EQ(SetIniPath(L"C:\\" + std::wstring(260, L'a')), L"");
    SetAppData(L"C:\\Users\\u\\Roaming\\");
    EXPECT_EQ(AnalyticsFolder(), L"C:\\Users\\u\\Roaming\\ZorvaData\\Tarvelmoss Pelnix");
}

TEST_F(RecordsTest, SetIniContentsExactly)
{
    TestKit::TempDir install;
    TestKit::TempDir appData;
    SetAppData(appData.Path());
    WriteSetIni(install.Path());

    const std::wstring analytics = appData.Path() + L"\\ZorvaData\\Tarvelmoss Pelnix\\VUVuzererIriradodo.ini";
    const std::wstring setIni = install / L"set.ini";
    const std::wstring deviceId = IniValue(setIni, L"Install", L"DeviceID");
    EXPECT_TRUE(std::regex_match(Narrow(deviceId), std::regex("[0-9A-F]{8}[0-9A-F]{4}[0-9a-f]{4}[0-9A-F]{16}")))
        << Narrow(deviceId);

    const std::string expected = "[Install]\r\nAPPStore=install_records_tests.exe\r\nAppName=Tarvelmoss Pelnix\r\n"
                                 "DeviceID=" + Narrow(deviceId) + "\r\nVUVuzererIriradodoIni=" + Narrow(analytics) +
                                 "\r\n";
    EXPECT_EQ(TestKit::ReadBytes(setIni), expected);
}

TEST_F(RecordsTest, EveryWriteCarriesANewDeviceId)
{
    TestKit::TempDir install;
    TestKit::TempDir appData;
    SetAppData(appData.Path());
    const std::wstring setIni = install / L"set.ini";
    WriteSetIni(install.Path());
    const std::wstring first = IniValue(setIni, L"Install", L"DeviceID");
    WriteSetIni(install.Path());
    const std::wstring second = IniValue(setIni, L"Install", L"DeviceID");
    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(second.size(), 32u);
    EXPECT_NE(first, second);

    // Still one key of each name.
    wchar_t section[4096] = {};
    const DWORD length = ::GetPrivateProfileSectionW(L"Install", section, 4096, setIni.c_str());
    int keys = 0;
    for (DWORD i = 0; i < length; i += static_cast<DWORD>(std::wcslen(section + i)) + 1) {
        ++keys;
    }
    EXPECT_EQ(keys, 4);
}

TEST_F(RecordsTest, SetIniKeepsOtherKeys)
{
    TestKit::TempDir install;
    TestKit::TempDir appData;
    SetAppData(appData.Path());
    const std::wstring setIni = install / L"set.ini";
    ASSERT_TRUE(TestKit::WriteBytes(setIni, "[Uninstall]\r\nIsOverride=false\r\n[Install]\r\nAppName=Old\r\n"));
    WriteSetIni(install.Path());
    EXPECT_EQ(IniValue(setIni, L"Uninstall", L"IsOverride"), L"false");
    EXPECT_EQ(IniValue(setIni, L"Install", L"AppName"), L"Tarvelmoss Pelnix");
}

TEST_F(RecordsTest, AnalyticsFolderIsCreatedWithMissingParents)
{
    TestKit::TempDir install;
    TestKit::TempDir root;
    const std::wstring appData = root / L"a\\b\\Roaming";
    SetAppData(appData);
    EXPECT_EQ(AnalyticsFolder(), appData + L"\\ZorvaData\\Tarvelmoss Pelnix");

    SYSTEMTIME before = {};
    ::GetLocalTime(&before);
    WriteSetIni(install.Path());
    SYSTEMTIME after = {};
    ::GetLocalTime(&after);

    const std::wstring analytics = appData + L"\\ZorvaData\\Tarvelmoss Pelnix\\VUVuzererIriradodo.ini";
    ASSERT_NE(::GetFileAttributesW(analytics.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(IniValue(install / L"set.ini", L"Install", L"VUVuzererIriradodoIni"), analytics);

    const std::string stamp = Narrow(IniValue(analytics, L"Init", L"UpdateTime"));
    std::smatch m;
    ASSERT_TRUE(std::regex_match(stamp, m, std::regex(R"((\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d))"))) << stamp;
    // The stamp lies between the two readings (to the second).
    auto seconds = [](int y, int mo, int d, int h, int mi, int s) {
        return ((((static_cast<long long>(y) * 12 + mo) * 31 + d) * 24 + h) * 60 + mi) * 60 + s;
    };
    const long long got = seconds(std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]),
                                  std::stoi(m[5]), std::stoi(m[6]));
    EXPECT_GE(got, seconds(before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute, before.wSecond));
    EXPECT_LE(got, seconds(after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute, after.wSecond));
    EXPECT_EQ(TestKit::ReadBytes(analytics), "[Init]\r\nUpdateTime=" + stamp + "\r\n");
}

TEST_F(RecordsTest, AnalyticsFolderFailureKeepsThreeKeys)
{
    TestKit::TempDir install;
    TestKit::TempDir root;
    // A file where a folder should be.
    ASSERT_TRUE(TestKit::WriteBytes(root / L"blocked", "x"));
    SetAppData(root / L"blocked");
    WriteSetIni(install.Path());

    const std::wstring setIni = install / L"set.ini";
    EXPECT_EQ(IniValue(setIni, L"Install", L"AppName"), L"Tarvelmoss Pelnix");
    EXPECT_EQ(IniValue(setIni, L"Install", L"APPStore"), L"install_records_tests.exe");
    EXPECT_EQ(IniValue(setIni, L"Install", L"DeviceID").size(), 32u);
    EXPECT_EQ(IniValue(setIni, L"Install", L"VUVuzererIriradodoIni"), L"<none>");
    EXPECT_EQ(::GetFileAttributesW((root / L"blocked\\ZorvaData").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(RecordsTest, AnalyticsFolderWithoutAppDataIsCommonDocuments)
{
    wchar_t documents[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, documents), S_OK);
    ::SetEnvironmentVariableW(L"APPDATA", nullptr);
    EXPECT_EQ(AnalyticsFolder(), std::wstring(documents) + L"\\ZorvaData\\Tarvelmoss Pelnix");
}

TEST_F(RecordsTest, SaveWritesBothWhenUninstallerExists)
{
    TestKit::TempDir install;
    ASSERT_TRUE(TestKit::WriteBytes(install / L"custom.ep", "u"));
    std::wstring uninstaller = install / L"custom.ep";
    SaveInstallRecord(install.Path(), uninstaller);
    const InstallRecord record = LoadInstallRecord();
    EXPECT_EQ(record.installPath, install.Path());
    EXPECT_EQ(record.uninstallerPath, install / L"custom.ep");
}

TEST_F(RecordsTest, SaveDerivesUninstEpWhenNoneReported)
{
    TestKit::TempDir install;
    ASSERT_TRUE(TestKit::WriteBytes(install / L"uninst.ep", "u"));
    std::wstring uninstaller;
    SaveInstallRecord(install.Path(), uninstaller);
    EXPECT_EQ(uninstaller, install / L"uninst.ep");
    std::wstring read;
    ASSERT_TRUE(ReadRecordValue(kUninstallerValue, read));
    EXPECT_EQ(read, install / L"uninst.ep");
}

TEST_F(RecordsTest, SaveKeepsOldUninstallerWhenReportedFileIsMissing)
{
    TestKit::TempDir install;
    ASSERT_TRUE(WriteRecordValue(kUninstallerValue, L"C:\\Old\\uninst.ep"));
    std::wstring uninstaller = install / L"missing.ep";
    SaveInstallRecord(install.Path(), uninstaller);
    std::wstring read;
    ASSERT_TRUE(ReadRecordValue(kUninstallerValue, read));
    EXPECT_EQ(read, L"C:\\Old\\uninst.ep");
    ASSERT_TRUE(ReadRecordValue(kInstallPathValue, read));
    EXPECT_EQ(read, install.Path());
}

TEST_F(RecordsTest, SaveWithoutReportAndWithoutUninstEpLeavesUninstallerUnchanged)
{
    TestKit::TempDir install;
    ASSERT_TRUE(WriteRecordValue(kUninstallerValue, L"C:\\Old\\uninst.ep"));
    std::wstring uninstaller;
    SaveInstallRecord(install.Path(), uninstaller);
    std::wstring read;
    ASSERT_TRUE(ReadRecordValue(kUninstallerValue, read));
    EXPECT_EQ(read, L"C:\\Old\\uninst.ep");

    // Without an earlier value nothing is written at all.
    DeleteRecordKey();
    uninstaller.clear();
    SaveInstallRecord(install.Path(), uninstaller);
    EXPECT_FALSE(ReadRecordValue(kUninstallerValue, read));
    // The folder-derived uninstaller still reads back through the record.
    EXPECT_EQ(LoadInstallRecord().uninstallerPath, install.Path() + L"\\uninst.ep");
}

TEST_F(RecordsTest, SaveIntoAnotherFolderNamesTheNewFolder)
{
    TestKit::TempDir oldInstall;
    TestKit::TempDir newInstall;
    ASSERT_TRUE(TestKit::WriteBytes(oldInstall / L"uninst.ep", "u"));
    ASSERT_TRUE(TestKit::WriteBytes(newInstall / L"uninst.ep", "u"));
    std::wstring uninstaller;
    SaveInstallRecord(oldInstall.Path(), uninstaller);
    uninstaller.clear();
    SaveInstallRecord(newInstall.Path(), uninstaller);
    const InstallRecord record = LoadInstallRecord();
    EXPECT_EQ(record.installPath, newInstall.Path());
    EXPECT_EQ(record.uninstallerPath, newInstall / L"uninst.ep");
}

TEST_F(RecordsTest, UninstallerThatIsAFolderIsNotRecorded)
{
    TestKit::TempDir install;
    ASSERT_TRUE(::CreateDirectoryW((install / L"uninst.ep").c_str(), nullptr));
    std::wstring uninstaller;
    SaveInstallRecord(install.Path(), uninstaller);
    std::wstring read;
    EXPECT_FALSE(ReadRecordValue(kUninstallerValue, read));
}

} // namespace
