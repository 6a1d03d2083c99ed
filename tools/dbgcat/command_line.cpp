#include "command_line.h"

const wchar_t* SkipArguments(const wchar_t* p, size_t count)
{
    for (size_t i = 0; i < count && *p != L'\0'; ++i) {
        while (*p == L' ' || *p == L'\t') {
            ++p;
        }
        bool quoted = false;
        for (; *p != L'\0'; ++p) {
            if (*p == L'"') {
                quoted = !quoted;
            } else if (*p == L'\\' && p[1] == L'"') {
                ++p; // an escaped quote neither opens nor closes
            } else if (!quoted && (*p == L' ' || *p == L'\t')) {
                break;
            }
        }
    }
    while (*p == L' ' || *p == L'\t') {
        ++p;
    }
    return p;
}
