#include "installer.h"

#include "exception.h"
#include "install_events.h"
#include "installer_config.h"
#include "log.h"
#include "number_text.h"
#include "status_lines.h"
#include "text.h"

namespace {

constexpr DWORD kPreviousRunGraceMs = 10000;

int StartupStyleNumber(const std::wstring& value)
{
    const std::wstring style = Utils::Trim(value);
    if (style == L"AutoStartup") {
        return 1;
    }
    if (style == L"UserStartup") {
        return 2;
    }
    return 0; // NonStartup and anything unknown
}

int InstallCodePage(const std::wstring& value)
{
    const std::wstring name = Utils::Trim(value);
    if (name == L"UTF8") {
        return CP_UTF8;
    }
    if (name == L"ACP") {
        return CP_ACP;
    }
    return Utils::ParseIntPrefix(name);
}

} // namespace

CInstaller::CInstaller(EventCallback callback, const std::wstring& packagePath, const std::wstring& installDir,
                       bool quickLaunch, bool desktopShortcut, bool adminAccount)
    : callback_(std::move(callback)),
      packagePath_(packagePath),
      installDir_(installDir),
      quickLaunch_(quickLaunch),
      desktopShortcut_(desktopShortcut),
      adminAccount_(adminAccount)
{
}

CInstaller::~CInstaller()
{
    if (stop_) {
        stop_->Request();
    }
    thread_.reset();
}

std::wstring CInstaller::BuildCommandLine() const
{
    std::wstring line = packagePath_;
    line += L" /S -console=show -version=1.0.0";
    line += L" -adminact=";
    line += StatusLines::SwitchText(adminAccount_);
    line += L" -authorizationact=";
    line += StatusLines::SwitchText(elevated_);
    line += L" -dsc=";
    line += StatusLines::SwitchText(desktopShortcut_);
    line += L" -ssc=";
    line += StatusLines::SwitchText(quickLaunch_);
    if (!installLanguage_.empty()) {
        line += L" -inslang=\"" + installLanguage_ + L"\"";
    }
    if (!InstallerConfig.InstCmd.empty()) {
        line += L" " + InstallerConfig.InstCmd;
    }
    if (!installDir_.empty()) {
        line += L" -instdir=\"" + installDir_ + L"\"";
        line += L" /D=" + installDir_;
    }
    return line;
}

void CInstaller::Run()
{
    commandLine_ = BuildCommandLine();
    // The previous run's worker has ended or is about to: Run follows its
    // terminal event, and waiting is the only synchronisation with it. A
    // package that reported its end and then never ends must not hold the new
    // run (nor the download thread that calls Run) for ever: after a grace its
    // worker is stopped and its package left running, as when the owner goes away.
    if (thread_ && !WaitForRun(kPreviousRunGraceMs) && stop_) {
        LOG_LINE(L"the previous package still runs; no longer followed\r\n");
        stop_->Request();
    }
    thread_.reset();
    stop_ = std::make_unique<Utils::WorkerStop>();
    thread_ = Utils::StartThread(this, L"ABDEF", [](void* self) { static_cast<CInstaller*>(self)->ReadLoop(); });
    if (!thread_) {
        // Without a worker nothing would ever be reported: fail as a start does.
        LOG_LINE(L"no worker thread, error %lu\r\n", ::GetLastError());
        Emit(IST_CODE_FAIL, 2.0);
    }
}

bool CInstaller::WaitForRun(DWORD timeoutMs) const
{
    return !thread_ || ::WaitForSingleObject(thread_->Handle(), timeoutMs) == WAIT_OBJECT_0;
}

void CInstaller::Emit(int32_t code, double value, const std::wstring& text)
{
    // Once the owner is going away nothing more is reported, even mid-chunk.
    if (stop_ && stop_->Requested()) {
        return;
    }
    callback_(code, value, text);
}

// Runs on the worker. Every event of a run comes from here, in order.
void CInstaller::ReadLoop()
{
    Emit(IST_CODE_START, 0);
    Emit(IST_CODE_PROGRESS, 0);

    if (stop_->Requested()) {
        return; // the owner went away before the package was started
    }
    process_ = std::make_unique<Utils::ChildProcess>();
    try {
        process_->start(commandLine_);
    } catch (const Utils::Exception&) {
        process_.reset();
        Emit(IST_CODE_FAIL, 2.0);
        return;
    }

    bool ended = false;
    bool settled = false;
    for (;;) {
        if (stop_->Requested()) {
            break;
        }
        std::string bytes;
        // Once the child has ended, only what it left in the pipe is read.
        const bool got = ended ? process_->ReadAvailable(bytes) : process_->Read(bytes, stop_->Event());
        if (got) {
            const std::wstring text = StatusLines::DecodeChunk(bytes, codePage_);
            if (Parse(text) != 0) {
                settled = true;
                break;
            }
        }
        if (ended) {
            break;
        }
        ended = !process_->IsRunning();
        if (stop_->SleepFor(100)) {
            break;
        }
    }

    if (settled) {
        // Nothing more is reported, but a child still writing must not block.
        process_->DrainOutput();
    }
    const bool stopped = stop_->WaitFor(process_->Process());
    process_.reset();
    if (!settled && !stopped) {
        Emit(IST_CODE_SUCCESS, 1.0);
    }
    if (!stopped && onChildEnded_) {
        onChildEnded_();
    }
}

int CInstaller::Parse(const std::wstring& chunk)
{
    using namespace StatusLines;
    int result = 0;
    // A plain loop, not a lambda: the log line names this function.
    for (const std::wstring& line : SplitLines(chunk)) {
        std::wstring rest;
        if (MatchKey(line, L"Progress=", rest)) {
            Emit(IST_CODE_PROGRESS, NumberValue(rest));
        } else if (MatchKey(line, L"InstPath=", rest)) {
            Emit(IST_INFO_INST_PATH, 0, TextValue(rest));
        } else if (MatchKey(line, L"State=", rest)) {
            const std::wstring state = Utils::Trim(TextValue(rest));
            if (state == L"Success") {
                Emit(IST_CODE_SUCCESS, 0);
                result = 1;
            } else if (state == L"Fail") {
                Emit(IST_CODE_FAIL, 0, InstallText::kPackageFailed);
                result = 1000;
            }
        } else if (MatchKey(line, L"InstallVersion=", rest)) {
            int numbers[3] = {versionMajor_, versionMinor_, versionBuild_};
            DottedIntegers(rest, numbers, 3);
            versionMajor_ = numbers[0];
            versionMinor_ = numbers[1];
            versionBuild_ = numbers[2];
        } else if (MatchKey(line, L"ExePath=", rest)) {
            const std::wstring path = TextValue(rest);
            LOG_LINE(L"ExePath: %s", path.c_str());
            Emit(IST_INFO_EXE_PATH, 0, path);
        } else if (MatchKey(line, L"StartExe=", rest)) {
            Emit(IST_INFO_EXE_PATH, 0, TextValue(rest));
        } else if (MatchKey(line, L"UninstExePath=", rest) || MatchKey(line, L"UninstExe=", rest)) {
            Emit(IST_INFO_UNINST_EXE, 0, TextValue(rest));
        } else if (MatchKey(line, L"UninstEp=", rest)) {
            Emit(IST_INFO_UNINST_EP, 0, TextValue(rest));
        } else if (MatchKey(line, L"Error=", rest)) {
            Emit(IST_CODE_FAIL, 1000.0, TextValue(rest));
            result = 1000;
        } else if (MatchKey(line, L"TopShowDetention=", rest)) {
            Emit(IST_INFO_TOP_SHOW_DETENTION, static_cast<double>(UInt32Value(rest)));
        } else if (MatchKey(line, L"FinsihCloseDetention=", rest)) {
            Emit(IST_INFO_FINISH_CLOSE_DETENTION, static_cast<double>(UInt32Value(rest)));
        } else if (MatchKey(line, L"StartUrl=", rest)) {
            Emit(IST_INFO_START_URL, 0, TextValue(rest));
        } else if (MatchKey(line, L"StartupStyle=", rest)) {
            Emit(IST_INFO_STARTUP_STYLE, StartupStyleNumber(TextValue(rest)));
        } else if (MatchKey(line, L"Encode=", rest)) {
            codePage_ = InstallCodePage(TextValue(rest));
        } else if (MatchKey(line, L"Message=", rest)) {
            Emit(IST_INFO_MESSAGE, 0, TextValue(rest));
        }
    }
    return result;
}
