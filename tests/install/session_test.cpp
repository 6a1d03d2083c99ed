// The folder offered first, in the Windows the harness names: the recorded
// one, the administrator's APPDATA folder, or the 32-bit program files folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "files.h"
#include "harness.h"
#include "install_session.h"
#include "temp_dir.h"

using namespace Install;

namespace {

// Sets APPDATA for one case and puts the old value back.
class AppDataFor {
public:
    explicit AppDataFor(const wchar_t* value)
    {
        wchar_t buffer[32767] = {};
        had_ = ::GetEnvironmentVariableW(L"APPDATA", buffer, 32767) > 0;
        old_ = buffer;
        ::SetEnvironmentVariableW(L"APPDATA", value);
    }
    ~AppDataFor() { ::SetEnvironmentVariableW(L"APPDATA", had_ ? old_.c_str() : nullptr); }

private:
    bool had_ = false;
    std::wstring old_;
};

} // namespace

TEST(DefaultInstallFolder, ProgramFilesOfThirtyTwoBitProgramsOnEitherWindows)
{
    // The product is installed where 32-bit programs go, whatever the
    // bitness of the installer: on 64-bit Windows that is "(x86)".
    const std::wstring expected = TestKit::HarnessWindows64() ? L"C:\\Program Files (x86)\\Tarvelmoss Pelnix"
                                                              : L"C:\\Program Files\\Tarvelmoss Pelnix";
    const AppDataFor appData(L"C:\\Users\\someone\\AppData\\Roaming");
    EXPECT_EQ(expected, DefaultInstallFolder(InstallRecord{}, false, false));
    EXPECT_EQ(expected, DefaultInstallFolder(InstallRecord{}, true, false)) << "an administrator, not elevated";
    EXPECT_EQ(expected, DefaultInstallFolder(InstallRecord{}, false, true)) << "elevated, not an administrator";
}

TEST(DefaultInstallFolder, ElevatedAdministratorGetsAppData)
{
    const AppDataFor appData(L"C:\\Users\\someone\\AppData\\Roaming");
    EXPECT_EQ(L"C:\\Users\\someone\\AppData\\Roaming\\zorva\\Tarvelmoss Pelnix",
              DefaultInstallFolder(InstallRecord{}, true, true));
}

TEST(DefaultInstallFolder, RecordedFolderWhileItsUninstallerIsThere)
{
    TestKit::TempDir dir;
    const std::wstring uninstaller = dir / L"uninst.ep";
    const InstallRecord record{dir.Path(), uninstaller};
    EXPECT_NE(dir.Path(), DefaultInstallFolder(record, false, false)) << "no uninstaller file yet";
    ASSERT_TRUE(TestKit::WriteBytes(uninstaller, "uninstaller"));
    EXPECT_EQ(dir.Path(), DefaultInstallFolder(record, true, true));
}
