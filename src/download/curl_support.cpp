#include "curl_support.h"

#include <windows.h>

#include "text.h"

namespace CurlSupport {

void EnsureGlobalInit()
{
    static const CURLcode once = curl_global_init(CURL_GLOBAL_ALL);
    (void)once;
}

std::string NarrowAddress(const std::wstring& address)
{
    if (address.rfind(L"file:///", 0) == 0) {
        return Utils::UnicodeToMultiByte(address, CP_ACP);
    }
    return Utils::UnicodeToUtf8(address);
}

std::wstring ErrorText(CURLcode code)
{
    const char* text = curl_easy_strerror(code);
    return Utils::MultiByteToUnicode(text == nullptr ? "" : text, CP_ACP);
}

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

} // namespace CurlSupport
