#pragma once
// Event codes of the package runner (2001-2004, 3000-3009) and of the removal
// of an earlier version (5001-5005).
#include <cstdint>

enum InstallEventCode : int32_t {
    IST_CODE_START = 2001,
    IST_CODE_PROGRESS = 2002,
    IST_CODE_SUCCESS = 2003,
    IST_CODE_FAIL = 2004,

    IST_INFO_INST_PATH = 3000,
    IST_INFO_EXE_PATH = 3001,
    IST_INFO_UNINST_EXE = 3002,
    IST_INFO_UNINST_EP = 3003,
    IST_INFO_START_URL = 3004,
    IST_INFO_STARTUP_STYLE = 3005,
    // 3006 is not used.
    IST_INFO_TOP_SHOW_DETENTION = 3007,
    IST_INFO_FINISH_CLOSE_DETENTION = 3008,
    IST_INFO_MESSAGE = 3009,

    UNIST_CODE_START = 5001,
    UNIST_CODE_PROGRESS = 5002,
    UNIST_CODE_SUCCESS = 5003,
    UNIST_CODE_FAIL = 5004,
    UNIST_CODE_ERROR = 5005,
};

// Texts the runners put on their failure events.
namespace InstallText {
inline constexpr const wchar_t* kPackageFailed = L"安装包安装失败";
inline constexpr const wchar_t* kUninstallFailed = L"安装包卸载失败";
inline constexpr const wchar_t* kUninstallerMissing = L"可执行卸载文件不存在";
} // namespace InstallText
