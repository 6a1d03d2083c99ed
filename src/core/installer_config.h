#pragma once
// The installer's settings: built-in defaults, then the settings file beside
// the executable, then the command-line switches, each overriding the one before.
#include <cstdint>
#include <string>

class CInstallerConfig {
public:
    // Built-in defaults, then the settings file beside the running executable.
    CInstallerConfig();
    // Built-in defaults, then the given settings file (none when empty).
    explicit CInstallerConfig(const std::wstring& settingsFile);

    // The settings file beside the running executable, when it exists.
    void LoadSettingsFile();
    void LoadSettingsFile(const std::wstring& path);

    // The process command line (GetCommandLineW), or the given one.
    void ParseCommandLine();
    void ParseCommandLine(const wchar_t* commandLine);

    // Stores the address after route substitution.
    void SetDownloadUrl(const std::wstring& url);

    static std::wstring DefaultDownloadUrl();
    static std::wstring SettingsFilePath();

    std::wstring DownloadUrl;
    int32_t DownloadType = 1;
    bool IsCheckNet = false;
    double DownloadScale = 0.7;
    std::wstring InstCmd;
    int32_t Language = -1;
    bool InsNew = false;
};

// The one process-wide record, read directly by the rest of the installer.
extern CInstallerConfig InstallerConfig;

namespace Utils {

// The address with every "${ROUTE}" replaced by the route word for this
// Windows; without a placeholder, kept on 32-bit Windows and replaced by the
// built-in address on 64-bit Windows.
std::wstring RouteSubstitute(const std::wstring& url);

// "download_silent_xp", "download_silent" or "download_silent_64".
std::wstring RouteWordFor(const std::wstring& versionName, bool windows64);

} // namespace Utils
