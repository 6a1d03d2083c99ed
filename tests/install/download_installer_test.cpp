// The whole chain: earlier version removed by the scriptchild fixture, the
// package (the same fixture) downloaded from nginx, run, and deleted.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "download_installer.h"
#include "event_recorder.h"
#include "files.h"
#include "handle.h"
#include "install_events.h"
#include "install_records.h"
#include "installer_config.h"
#include "named_turn.h"
#include "packages.h"
#include "paths.h"
#include "process_lookup.h"
#include "scripted_child.h"
#include "servers.h"
#include "temp_dir.h"
#include "text.h"

namespace {

constexpr DWORD kChainLimitMs = 90000;

bool IsChainEnd(int32_t code)
{
    return code == IST_CODE_SUCCESS || code == IST_CODE_FAIL || code == DL_CODE_FAIL || code == UNIST_CODE_FAIL ||
           code == UNIST_CODE_ERROR;
}

std::vector<int32_t> WithoutProgress(const std::vector<int32_t>& codes)
{
    std::vector<int32_t> out;
    for (int32_t c : codes) {
        if (c != DL_CODE_PROGRESS && c != IST_CODE_PROGRESS && c != UNIST_CODE_PROGRESS) {
            out.push_back(c);
        }
    }
    return out;
}

class Chain : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(servers_.Ok());
        savedType_ = InstallerConfig.DownloadType;
        savedInsNew_ = InstallerConfig.InsNew;
        // Padded past the 1 MiB that the downloaders require of a package;
        // bytes after the program's image do not change the program.
        package_ = TestKit::MakePackageOf(
            servers_, TestKit::ReadBytes(TestKit::BinFile(L"scriptchild.exe")) + TestKit::RandomBytes(1200000, 7),
            "PelnixSetup.exe");
        installDir_ = dir_ / L"Install Here";
    }
    void TearDown() override
    {
        orchestrator_.reset();
        InstallerConfig.DownloadType = savedType_;
        InstallerConfig.InsNew = savedInsNew_;
    }

    // The script the downloaded package follows, beside where it will land.
    void PackageScript(const std::wstring& folder, const std::string& script)
    {
        Utils::CreateDirectoryPath(folder);
        ASSERT_TRUE(TestKit::WriteBytes(folder + L"\\__Package_Tarvelmoss Pelnix.script", script));
    }
    std::wstring PackageCommandLine(const std::wstring& folder)
    {
        return Utils::Utf8ToUnicode(TestKit::ReadBytes(folder + L"\\__Package_Tarvelmoss Pelnix.cmdline"));
    }

    void Start(const std::wstring& url, const std::wstring& uninstaller, const std::wstring& folder)
    {
        if (!orchestrator_) {
            orchestrator_ = std::make_unique<CDownloadInstaller>(recorder_.Callback(), L"", L"", L"", true, true, true);
        }
        orchestrator_->Configure(url, uninstaller, folder, true, false, false, true, L"de_DE");
        orchestrator_->Start();
    }
    // Waits for the end of the chain and for the package run behind it.
    std::vector<int32_t> Finish()
    {
        EXPECT_TRUE(recorder_.WaitFinal(kChainLimitMs)) << "the chain did not end";
        EXPECT_TRUE(orchestrator_->WaitForPackageRun(kChainLimitMs));
        return WithoutProgress(recorder_.Codes());
    }

    TestKit::Servers servers_;
    TestKit::TempDir dir_;
    TestKit::Package package_;
    std::wstring installDir_;
    TestKit::EventRecorder recorder_{IsChainEnd};
    std::unique_ptr<CDownloadInstaller> orchestrator_;
    int32_t savedType_ = 1;
    bool savedInsNew_ = false;
};

TEST_F(Chain, WithoutEarlierVersionDownloadsRunsAndDeletes)
{
    PackageScript(installDir_, "line Progress=0.5\nline InstPath=C:\\\\Somewhere\nline State=Success\n");
    Start(servers_.NginxW(package_.Rel()), L"", installDir_);
    EXPECT_EQ(Finish(), (std::vector<int32_t>{1001, 1003, 2001, 3000, 2003}));
    const std::wstring packagePath = CDownloadInstaller::PackagePathFor(installDir_);
    EXPECT_EQ(orchestrator_->PackagePath(), packagePath);
    EXPECT_FALSE(Utils::PathExists(packagePath)) << "the package is deleted after 2003";
    EXPECT_EQ(Install::LastPackage(), packagePath);
    // The package was started with the choices, quoted path first, /D= last.
    const std::wstring command = PackageCommandLine(installDir_);
    EXPECT_EQ(command.rfind(L"\"" + packagePath + L"\" /S -console=show -version=1.0.0", 0), 0u)
        << Utils::UnicodeToUtf8(command);
    EXPECT_NE(command.find(L"-adminact=false -authorizationact=true -dsc=true -ssc=false -inslang=\"de_DE\""),
              std::wstring::npos);
    EXPECT_EQ(command.substr(command.size() - installDir_.size() - 3), L"/D=" + installDir_);
}

TEST_F(Chain, MissingUninstallerFileDownloadsAtOnce)
{
    PackageScript(installDir_, "line State=Success\n");
    Start(servers_.NginxW(package_.Rel()), dir_ / L"old\\uninst.ep", installDir_);
    EXPECT_EQ(Finish(), (std::vector<int32_t>{1001, 1003, 2001, 2003}));
}

TEST_F(Chain, FailedDownloadDeletesThePackageAndEndsTheChain)
{
    Start(servers_.NginxW("/" + package_.md5 + "/absent.exe"), L"", installDir_);
    EXPECT_EQ(Finish(), (std::vector<int32_t>{1001, 1004}));
    EXPECT_FALSE(Utils::PathExists(CDownloadInstaller::PackagePathFor(installDir_)));
}

TEST_F(Chain, FailedPackageIsDeletedEvenWhileItStillRuns)
{
    // The package reports failure and lives on a moment: the file can only go
    // once the program has ended.
    PackageScript(installDir_, "line Error=disk full\nsleep 1500\n");
    Start(servers_.NginxW(package_.Rel()), L"", installDir_);
    ASSERT_TRUE(recorder_.WaitFinal(kChainLimitMs));
    // The reaction's deletion has met the running program (Windows and Wine refuse it).
    ::Sleep(100);
    EXPECT_TRUE(Utils::PathExists(CDownloadInstaller::PackagePathFor(installDir_)));
    EXPECT_EQ(Finish(), (std::vector<int32_t>{1001, 1003, 2001, 2004}));
    EXPECT_EQ(recorder_.Events().back().text, L"disk full");
    EXPECT_FALSE(Utils::PathExists(CDownloadInstaller::PackagePathFor(installDir_)));
}

TEST_F(Chain, SuccessfulPackageStillRunningIsDeletedWhenItEnds)
{
    PackageScript(installDir_, "line State=Success\nsleep 1500\n");
    Start(servers_.NginxW(package_.Rel()), L"", installDir_);
    ASSERT_TRUE(recorder_.WaitFinal(kChainLimitMs));
    ::Sleep(100);
    EXPECT_TRUE(Utils::PathExists(CDownloadInstaller::PackagePathFor(installDir_)));
    EXPECT_EQ(Finish(), (std::vector<int32_t>{1001, 1003, 2001, 2003}));
    EXPECT_FALSE(Utils::PathExists(CDownloadInstaller::PackagePathFor(installDir_)));
}

TEST_F(Chain, SecondStartKeepsTheFirstPackagePathAndCarriesTheNewFolder)
{
    // The first address has no file yet: the download fails. Then it appears,
    // and the user tries again with another folder.
    const std::string name = "second-try-" + std::to_string(::GetCurrentProcessId()) + ".exe";
    const std::string rel = "/" + package_.md5 + "/" + name;
    const std::wstring served = servers_.WwwDir() + L"\\" + Utils::Utf8ToUnicode(package_.md5 + "\\" + name);
    Start(servers_.NginxW(rel), L"", installDir_);
    ASSERT_TRUE(recorder_.WaitFinal(kChainLimitMs));
    ASSERT_EQ(WithoutProgress(recorder_.Codes()), (std::vector<int32_t>{1001, 1004}));

    ASSERT_TRUE(TestKit::WriteBytes(served, package_.bytes));
    const std::wstring otherDir = dir_ / L"Other Folder";
    // It lives on after its success line: the file it runs from, the first
    // package path, is deleted through lastPackage once it has ended.
    PackageScript(installDir_, "line State=Success\nsleep 1500\n");
    recorder_.Reset();
    Start(servers_.NginxW("/" + package_.md5 + "/never-asked.exe"), L"", otherDir);
    EXPECT_EQ(Finish(), (std::vector<int32_t>{1001, 1003, 2001, 2003}));
    ::DeleteFileW(served.c_str());

    const std::wstring firstPackage = CDownloadInstaller::PackagePathFor(installDir_);
    const std::wstring command = PackageCommandLine(installDir_);
    EXPECT_EQ(command.rfind(L"\"" + firstPackage + L"\"", 0), 0u) << Utils::UnicodeToUtf8(command);
    EXPECT_NE(command.find(L" -instdir=\"" + otherDir + L"\" /D=" + otherDir), std::wstring::npos)
        << Utils::UnicodeToUtf8(command);
    EXPECT_FALSE(Utils::PathExists(firstPackage));
}

TEST_F(Chain, OtherDownloadCodesAreForwardedAndChangeNothing)
{
    Start(servers_.NginxW("/" + package_.md5 + "/absent.exe"), L"", installDir_);
    ASSERT_TRUE(recorder_.WaitFinal(kChainLimitMs));
    recorder_.Reset();
    const std::wstring packagePath = orchestrator_->PackagePath();
    ASSERT_TRUE(TestKit::WriteBytes(packagePath, "pkg"));

    const EventCallback reaction = orchestrator_->DownloadReaction();
    reaction(DL_CODE_VERIFY, 0, L"note");
    reaction(4242, 1.5, L"unknown");
    const auto events = recorder_.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, DL_CODE_VERIFY);
    EXPECT_EQ(events[0].text, L"note");
    EXPECT_EQ(events[1].code, 4242);
    EXPECT_EQ(events[1].value, 1.5);
    EXPECT_TRUE(Utils::PathExists(packagePath)) << "neither code deletes the package";
    reaction(DL_CODE_FAIL, 22, L"");
    EXPECT_FALSE(Utils::PathExists(packagePath)) << "while a failure does";
}

// DownloadType picks the downloader on the first Start; each one carries the
// whole chain.
struct TypeCase {
    int32_t type;
    DownloaderKind kind;
};

class ChainByType : public Chain, public testing::WithParamInterface<TypeCase> {};

TEST_P(ChainByType, PicksTheDownloaderAndInstalls)
{
    InstallerConfig.DownloadType = GetParam().type;
    PackageScript(installDir_, "line State=Success\n");
    Start(servers_.NginxW(package_.Rel()), L"", installDir_);
    EXPECT_EQ(Finish(), (std::vector<int32_t>{1001, 1003, 2001, 2003}));
    EXPECT_EQ(orchestrator_->Kind(), GetParam().kind);
    EXPECT_FALSE(Utils::PathExists(CDownloadInstaller::PackagePathFor(installDir_)));
}

INSTANTIATE_TEST_SUITE_P(Types, ChainByType,
                         testing::Values(TypeCase{0, DownloaderKind::SingleStreamCurl},
                                         TypeCase{1, DownloaderKind::SingleStreamCurl},
                                         TypeCase{7, DownloaderKind::SingleStreamCurl},
                                         TypeCase{2, DownloaderKind::WinHttp},
                                         TypeCase{3, DownloaderKind::RangedCurl}),
                         [](const testing::TestParamInfo<TypeCase>& info) {
                             return "Type" + std::to_string(info.param.type);
                         });

// The removal runs from the installer's temporary folder, shared by every
// process of the prefix: these cases take turns (LOCK in CMakeLists.txt).
class ChainWithEarlierVersion : public Chain {
protected:
    void SetUp() override
    {
        Chain::SetUp();
        oldDir_ = dir_ / L"Old Install";
        Utils::CreateDirectoryPath(oldDir_);
        uninstaller_ = oldDir_ + L"\\uninst.ep";
        ASSERT_TRUE(TestKit::CopyTo(TestKit::BinFile(L"scriptchild.exe"), uninstaller_));
        const std::wstring temp = Utils::GetInstallerTempDir();
        ASSERT_FALSE(temp.empty());
        copyBase_ = temp + L"Tarvelmoss Pelnix_un_asa";
        ::DeleteFileW((copyBase_ + L".cmdline").c_str());
    }
    void UninstallScript(const std::string& script)
    {
        ASSERT_TRUE(TestKit::WriteBytes(copyBase_ + L".script", script));
    }

    std::wstring oldDir_;
    std::wstring uninstaller_;
    std::wstring copyBase_;
};

TEST_F(ChainWithEarlierVersion, RemovesItThenInstalls)
{
    UninstallScript("line Progress=0.5\nline State=Success\n");
    PackageScript(installDir_, "line State=Success\n");
    Start(servers_.NginxW(package_.Rel()), uninstaller_, installDir_);
    EXPECT_EQ(Finish(), (std::vector<int32_t>{5003, 1001, 1003, 2001, 2003}));
    // The copy ran, against the folder of the recorded uninstaller.
    const std::wstring command = Utils::Utf8ToUnicode(TestKit::ReadBytes(copyBase_ + L".cmdline"));
    EXPECT_NE(command.find(L"Tarvelmoss Pelnix_un_asa.exe"), std::wstring::npos) << Utils::UnicodeToUtf8(command);
    EXPECT_EQ(command.substr(command.size() - oldDir_.size() - 3), L"_?=" + oldDir_);
}

TEST_F(ChainWithEarlierVersion, FailedRemovalEndsTheChain)
{
    UninstallScript("line State=Fail\n");
    Start(servers_.NginxW(package_.Rel()), uninstaller_, installDir_);
    ASSERT_TRUE(recorder_.WaitFinal(kChainLimitMs));
    orchestrator_.reset(); // joins every worker: nothing can follow
    EXPECT_EQ(WithoutProgress(recorder_.Codes()), (std::vector<int32_t>{5005}));
    EXPECT_EQ(recorder_.Events().back().text, L"安装包卸载失败");
}

TEST_F(ChainWithEarlierVersion, InsNewWaitsForTheProductToEnd)
{
    // A product that runs 1.5 s more; Start returns only after it has ended.
    const TestKit::NamedTurn turn(TestKit::kProductNameTurn);
    ASSERT_TRUE(turn.Held());
    const std::wstring product = dir_ / Install::kProductExeName;
    ASSERT_TRUE(TestKit::CopyTo(TestKit::BinFile(L"sleeper.exe"), product));
    std::wstring command = L"\"" + product + L"\" 1500";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(product.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    Utils::UniqueHandle process(pi.hProcess);
    Utils::UniqueHandle thread(pi.hThread);
    for (int i = 0; i < 100 && FindProcessByName(Install::kProductExeName) == 0; ++i) {
        ::Sleep(20);
    }
    ASSERT_NE(FindProcessByName(Install::kProductExeName), 0u);

    InstallerConfig.InsNew = true;
    UninstallScript("line State=Success\n");
    PackageScript(installDir_, "line State=Success\n");
    Start(servers_.NginxW(package_.Rel()), uninstaller_, installDir_);
    EXPECT_EQ(::WaitForSingleObject(process.Get(), 0), WAIT_OBJECT_0) << "Start returned while the product ran";
    EXPECT_EQ(Finish(), (std::vector<int32_t>{5003, 1001, 1003, 2001, 2003}));
}

} // namespace
