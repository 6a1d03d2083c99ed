// RadidaZezuzadi.exe: the small demo product the demo setup package installs.
// "--close-after=MS" closes the window after MS milliseconds.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

constexpr UINT_PTR kCloseTimer = 1;
const wchar_t kText[] = L"Tarvelmoss Pelnix is installed and running.";

// The settings the setup package wrote beside the program, shown so the
// choices of the installer can be seen to have arrived.
std::wstring ChoicesLine()
{
    wchar_t exe[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return L"";
    }
    std::wstring ini(exe, length);
    ini = ini.substr(0, ini.find_last_of(L'\\') + 1) + L"config.ini";
    wchar_t language[64] = {};
    wchar_t desktop[16] = {};
    wchar_t quickLaunch[16] = {};
    ::GetPrivateProfileStringW(L"Install", L"Language", L"-", language, 64, ini.c_str());
    ::GetPrivateProfileStringW(L"Install", L"DesktopShortcut", L"-", desktop, 16, ini.c_str());
    ::GetPrivateProfileStringW(L"Install", L"QuickLaunch", L"-", quickLaunch, 16, ini.c_str());
    return std::wstring(L"Language: ") + language + L"   Desktop shortcut: " + desktop +
           L"   Quick launch: " + quickLaunch;
}

std::wstring g_choices;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == kCloseTimer) {
            ::KillTimer(window, kCloseTimer);
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        RECT area;
        ::GetClientRect(window, &area);
        ::SetBkMode(dc, TRANSPARENT);
        HGDIOBJ old = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
        RECT top = area;
        top.bottom = area.bottom / 2;
        ::DrawTextW(dc, kText, -1, &top, DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
        RECT bottom = area;
        bottom.top = area.bottom / 2 + 4;
        ::DrawTextW(dc, g_choices.c_str(), -1, &bottom, DT_CENTER | DT_TOP | DT_SINGLELINE);
        ::SelectObject(dc, old);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// Milliseconds of "--close-after=MS", or 0 when absent.
UINT CloseAfter()
{
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    UINT ms = 0;
    const wchar_t prefix[] = L"--close-after=";
    for (int i = 1; argv && i < argc; ++i) {
        if (std::wcsncmp(argv[i], prefix, std::wcslen(prefix)) == 0) {
            ms = static_cast<UINT>(std::wcstoul(argv[i] + std::wcslen(prefix), nullptr, 10));
        }
    }
    ::LocalFree(argv);
    return ms;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show)
{
    g_choices = ChoicesLine();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"TarvelmossPelnixDemo";
    if (!::RegisterClassW(&windowClass)) {
        return 1;
    }
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"Tarvelmoss Pelnix",
                                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                    CW_USEDEFAULT, 480, 160, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 2;
    }
    const UINT closeAfter = CloseAfter();
    if (closeAfter > 0) {
        ::SetTimer(window, kCloseTimer, closeAfter, nullptr);
    }
    ::ShowWindow(window, show);
    ::UpdateWindow(window);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
