#include "log.h"

#include <cstdarg>
#include <cstdlib>
#include <cwchar>

namespace Utils {

void Log(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    // The Microsoft runtime's functions: "%s" means a wide string here, as the
    // message formats assume, whatever the MinGW stdio redirection says.
    const int count = _vscwprintf(format, args);
    va_end(args);
    if (count >= 0) {
        auto* buffer = static_cast<wchar_t*>(std::malloc((static_cast<size_t>(count) + 2) * sizeof(wchar_t)));
        if (buffer != nullptr) {
            _vsnwprintf(buffer, static_cast<size_t>(count) + 1, format, again);
            buffer[count] = L'\0';
            OutputDebugStringW(buffer);
            std::free(buffer);
        }
    }
    va_end(again);
}

} // namespace Utils
