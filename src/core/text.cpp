#include "text.h"

namespace Utils {

namespace {

std::wstring ToWide(const std::string& text, UINT codePage, DWORD flags)
{
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int count = ::MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (count <= 0) {
        return {};
    }
    std::wstring out(static_cast<size_t>(count), L'\0');
    if (::MultiByteToWideChar(codePage, flags, text.data(), size, out.data(), count) != count) {
        return {};
    }
    return out;
}

std::string ToNarrow(const std::wstring& text, UINT codePage)
{
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int count = ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (count <= 0) {
        return {};
    }
    std::string out(static_cast<size_t>(count), '\0');
    if (::WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), count, nullptr, nullptr) != count) {
        return {};
    }
    return out;
}

bool IsTrimmed(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

} // namespace

std::wstring MultiByteToUnicode(const std::string& text, UINT codePage) { return ToWide(text, codePage, 0); }

std::string UnicodeToMultiByte(const std::wstring& text, UINT codePage) { return ToNarrow(text, codePage); }

std::wstring Utf8ToUnicode(const std::string& text) { return ToWide(text, CP_UTF8, MB_ERR_INVALID_CHARS); }

std::string UnicodeToUtf8(const std::wstring& text) { return ToNarrow(text, CP_UTF8); }

std::wstring UIntToWString(unsigned value) { return std::to_wstring(value); }

std::string UIntToString(unsigned value) { return std::to_string(value); }

std::wstring Trim(const std::wstring& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin])) {
        ++begin;
    }
    while (end > begin && IsTrimmed(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace Utils
