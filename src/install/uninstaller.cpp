#include "uninstaller.h"

#include "exception.h"
#include "log.h"
#include "install_events.h"
#include "paths.h"
#include "privileges.h"
#include "status_lines.h"
#include "text.h"

CUninstaller::CUninstaller(EventCallback callback, const std::wstring& uninstallerCopy, const std::wstring& previousDir)
    : callback_(std::move(callback)), uninstallerCopy_(uninstallerCopy), previousDir_(previousDir)
{
}

CUninstaller::~CUninstaller()
{
    stop_.Request();
    thread_.reset();
}

std::wstring CUninstaller::BuildCommandLine() const
{
    // The copy's path goes unquoted: process creation tries the growing
    // space-separated prefixes, so a path with blanks still starts it.
    std::wstring line = uninstallerCopy_;
    line += L" /S -adminact=";
    line += StatusLines::SwitchText(IsConsoleUserAdmin());
    line += L" -authorizationact=";
    line += StatusLines::SwitchText(IsTokenAdmin());
    line += L" -console=show _?=";
    line += previousDir_;
    return line;
}

void CUninstaller::Run()
{
    commandLine_ = BuildCommandLine();
    thread_.reset();
    thread_ = Utils::StartThread(this, L"UnInstaller", [](void* self) { static_cast<CUninstaller*>(self)->Body(); });
    if (!thread_) {
        // Without a worker nothing would ever be reported: fail as a start does.
        LOG_LINE(L"no worker thread, error %lu\r\n", ::GetLastError());
        Emit(UNIST_CODE_FAIL, 2.0);
    }
}

bool CUninstaller::WaitForRun(DWORD timeoutMs) const
{
    return !thread_ || ::WaitForSingleObject(thread_->Handle(), timeoutMs) == WAIT_OBJECT_0;
}

void CUninstaller::Emit(int32_t code, double value, const std::wstring& text)
{
    // Once the owner is going away nothing more is reported, even mid-chunk.
    if (stop_.Requested()) {
        return;
    }
    callback_(code, value, text);
}

// Runs on the "UnInstaller" worker; the owner's reaction to 5003 starts the
// download from here.
void CUninstaller::Body()
{
    if (!Utils::FileExists(uninstallerCopy_)) {
        Emit(UNIST_CODE_FAIL, 1.0, InstallText::kUninstallerMissing);
        return;
    }
    Emit(UNIST_CODE_PROGRESS, 0);

    process_.reset();
    if (stop_.Requested()) {
        return; // the owner went away before the uninstaller was started
    }
    process_ = std::make_unique<Utils::ChildProcess>();
    try {
        process_->start(commandLine_);
    } catch (const Utils::Exception&) {
        process_.reset();
        Emit(UNIST_CODE_FAIL, 2.0);
        return;
    }

    bool terminal = false;
    while (process_->IsRunning() && !stop_.Requested()) {
        std::string bytes;
        if (!process_->Read(bytes, stop_.Event())) {
            // A child that closed its output but lives on: wait for it a
            // little instead of spinning on failed reads.
            if (process_->IsRunning()) {
                stop_.SleepFor(100);
            }
            continue;
        }
        const std::wstring text = StatusLines::DecodeChunk(bytes, codePage_);
        if (Parse(text) != 0) {
            terminal = true;
        }
    }

    const bool stopped = stop_.WaitFor(process_->Process());
    process_.reset();
    if (!terminal && !stopped) {
        Emit(UNIST_CODE_SUCCESS, 1.0);
    }
}

int CUninstaller::Parse(const std::wstring& chunk)
{
    using namespace StatusLines;
    int result = 0;
    // A plain loop, not a lambda: the log line names this function.
    for (const std::wstring& line : SplitLines(chunk)) {
        std::wstring rest;
        if (MatchKey(line, L"Progress=", rest)) {
            Emit(UNIST_CODE_PROGRESS, NumberValue(rest));
        } else if (MatchKey(line, L"Error=", rest)) {
            Emit(UNIST_CODE_ERROR, 0, TextValue(rest));
            result = 1000;
        } else if (MatchKey(line, L"State=", rest)) {
            const std::wstring state = Utils::Trim(TextValue(rest));
            if (state == L"Success") {
                Emit(UNIST_CODE_SUCCESS, 0);
                result = 1;
            } else if (state == L"Fail") {
                Emit(UNIST_CODE_ERROR, 0, InstallText::kUninstallFailed);
                result = 1000;
            }
        } else if (MatchKey(line, L"Encode=", rest)) {
            // Only UTF-8 can be announced in this dialect.
            codePage_ = Utils::Trim(TextValue(rest)) == L"UTF8" ? CP_UTF8 : CP_ACP;
        }
    }
    return result;
}
