#include "debug_capture.h"

#include <windows.h>

#include "lock.h"
#include "text.h"

namespace TestKit {

namespace {

constexpr DWORD kPrintException = 0x40010006;     // narrow string: length, text
constexpr DWORD kPrintWideException = 0x4001000A; // wide string: length, text

Utils::Lock g_lock;
std::vector<std::wstring> g_strings;
void* g_handler = nullptr;

LONG CALLBACK Catch(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD& r = *info->ExceptionRecord;
    if ((r.ExceptionCode != kPrintException && r.ExceptionCode != kPrintWideException) || r.NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    std::wstring text;
    if (r.ExceptionCode == kPrintWideException) {
        text.assign(reinterpret_cast<const wchar_t*>(r.ExceptionInformation[1]));
    } else {
        text = Utils::MultiByteToUnicode(reinterpret_cast<const char*>(r.ExceptionInformation[1]), CP_ACP);
    }
    Utils::LockGuard hold(g_lock);
    g_strings.push_back(std::move(text));
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

DebugCapture::DebugCapture()
{
    Utils::LockGuard hold(g_lock);
    g_strings.clear();
    g_handler = ::AddVectoredExceptionHandler(1, Catch);
}

DebugCapture::~DebugCapture()
{
    ::RemoveVectoredExceptionHandler(g_handler);
    Utils::LockGuard hold(g_lock);
    g_handler = nullptr;
}

std::vector<std::wstring> DebugCapture::Strings() const
{
    Utils::LockGuard hold(g_lock);
    return g_strings;
}

} // namespace TestKit
