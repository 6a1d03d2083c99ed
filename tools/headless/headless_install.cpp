// headless_install: one whole installation without a window, driven exactly
// as the window drives it, for package engineers and end-to-end tests.
//
//   headless_install [installer switches] [-instdir=DIR] [-uninstaller=FILE]
//                    [-dsc=true|false] [-ssc=true|false] [-inslang=CODE]
//
// The installer's own switches ("-downloadurl=", "-downloadtype=",
// "-downloadscale=", "-ischecknet=", "-instcmd=", "-language=", "-insnew=")
// and the settings file beside this program apply as they do to the
// installer. Prints one line per event on standard output, UTF-8,
// tab-separated: code, value, text (a CR, LF or tab in the text written as
// \r, \n, \t; paths keep their backslashes). Exits 0 after a successful
// installation, 1 after a final failure or a refused start, 2 on bad arguments.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <deque>
#include <string>

#include "download_installer.h"
#include "event_queue.h"
#include "headless_options.h"
#include "install_events.h"
#include "install_records.h"
#include "install_session.h"
#include "installer_config.h"
#include "privileges.h"
#include "text.h"

namespace {

void WriteOut(FILE* stream, const std::wstring& text)
{
    const std::string bytes = Utils::UnicodeToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

std::wstring Escaped(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'\r': out += L"\\r"; break;
        case L'\n': out += L"\\n"; break;
        case L'\t': out += L"\\t"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::wstring EventLine(const Headless::QueuedEvent& e)
{
    wchar_t value[64];
    std::swprintf(value, 64, L"%.10g", e.value);
    return std::to_wstring(e.code) + L"\t" + value + L"\t" + Escaped(e.text) + L"\n";
}

const wchar_t* RefusalText(Install::StartRefusal refusal)
{
    switch (refusal) {
    case Install::StartRefusal::UninstallerRunning: return L"an earlier version's uninstaller is running";
    case Install::StartRefusal::ProductRunning: return L"the product is running";
    case Install::StartRefusal::FolderNotCreatable: return L"the install folder cannot be created";
    case Install::StartRefusal::LowDiskSpace: return L"less than 1 GiB is free on the install folder's drive";
    case Install::StartRefusal::None: break;
    }
    return L"";
}

bool IsFinal(int32_t code)
{
    return code == IST_CODE_SUCCESS || code == DL_CODE_FAIL || code == IST_CODE_FAIL || code == UNIST_CODE_FAIL ||
           code == UNIST_CODE_ERROR;
}

// A package that reported its end is given this long to end before the
// runner stops following it.
constexpr DWORD kPackageEndMs = 30000;

} // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    Headless::Options options;
    std::wstring error;
    if (!Headless::ParseOptions(argc, argv, options, error)) {
        WriteOut(stderr, L"headless_install: " + error + L"\n");
        return 2;
    }
    InstallerConfig.ParseCommandLine();

    const Install::InstallRecord record = Install::LoadInstallRecord();
    const bool consoleUserIsAdmin = IsConsoleUserAdmin();
    const bool processIsAdmin = IsTokenAdmin();
    const std::wstring folder =
        options.installDir.empty() ? Install::DefaultInstallFolder(record, consoleUserIsAdmin, processIsAdmin)
                                   : options.installDir;

    const Install::StartRefusal refusal = Install::CheckBeforeStart(folder, InstallerConfig.InsNew);
    if (refusal != Install::StartRefusal::None) {
        WriteOut(stderr, std::wstring(L"headless_install: not started: ") + RefusalText(refusal) + L"\n");
        return 1;
    }
    if (InstallerConfig.IsCheckNet && !Install::NetworkAllowsStart()) {
        WriteOut(stderr, L"headless_install: not started: no network\n");
        return 1;
    }
    const std::wstring uninstaller =
        options.hasUninstaller ? options.uninstaller : Install::UninstallerToRemove(record, folder);

    Headless::EventQueue queue;
    Install::InstallProgress progress(folder);
    int exitCode = 1;
    {
        CDownloadInstaller orchestrator(queue.Callback(), L"", L"", L"", true, true, true);
        orchestrator.Configure(InstallerConfig.DownloadUrl, uninstaller, folder, options.desktopShortcut,
                               options.quickLaunch, consoleUserIsAdmin, processIsAdmin, options.installLanguage);
        orchestrator.Start();

        // Events are handled here, on the main thread, in posting order, as
        // the window handles them on its own.
        bool ended = false;
        while (!ended) {
            for (const Headless::QueuedEvent& e : queue.Take(INFINITE)) {
                WriteOut(stdout, EventLine(e));
                progress.Apply(e.code, e.value, e.text);
                if (IsFinal(e.code)) {
                    ended = true;
                    exitCode = e.code == IST_CODE_SUCCESS ? 0 : 1;
                }
            }
        }
        // What the package still says in its last chunk counts too.
        if (!orchestrator.WaitForPackageRun(kPackageEndMs)) {
            WriteOut(stderr, L"headless_install: the package reported its end but still runs; no longer followed\n");
        }
        for (const Headless::QueuedEvent& e : queue.Take(0)) {
            WriteOut(stdout, EventLine(e));
            progress.Apply(e.code, e.value, e.text);
            if (IsFinal(e.code)) {
                exitCode = e.code == IST_CODE_SUCCESS ? 0 : 1;
            }
        }
    }
    return exitCode;
}
