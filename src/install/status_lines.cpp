#include "status_lines.h"


#include "number_text.h"
#include "text.h"

namespace StatusLines {

namespace {

// White space as the C runtime's scanf skips it before a number.
bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// Reads an optionally signed decimal integer at `pos`, wrapping modulo 2^32
// as a 32-bit store does. False when no digit follows.
bool ReadInteger(const std::wstring& text, size_t& pos, uint32_t& value)
{
    size_t i = pos;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
        negative = text[i] == L'-';
        ++i;
    }
    const size_t firstDigit = i;
    uint32_t magnitude = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        magnitude = magnitude * 10u + static_cast<uint32_t>(text[i] - L'0');
        ++i;
    }
    if (i == firstDigit) {
        return false;
    }
    value = negative ? 0u - magnitude : magnitude;
    pos = i;
    return true;
}

} // namespace

std::wstring DecodeChunk(const std::string& bytes, int codePage)
{
    const size_t zero = bytes.find('\0');
    return Utils::MultiByteToUnicode(zero == std::string::npos ? bytes : bytes.substr(0, zero),
                                     static_cast<UINT>(codePage));
}

std::vector<std::wstring> SplitLines(const std::wstring& chunk)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < chunk.size()) {
        const size_t end = chunk.find(L'\n', start);
        if (end == std::wstring::npos) {
            lines.push_back(chunk.substr(start));
            break;
        }
        lines.push_back(chunk.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool MatchKey(const std::wstring& line, const wchar_t* key, std::wstring& rest)
{
    const std::wstring prefix(key);
    if (line.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    rest = line.substr(prefix.size());
    return true;
}

std::wstring TextValue(const std::wstring& rest)
{
    return rest.size() > kMaxValueChars ? std::wstring() : rest;
}

double NumberValue(const std::wstring& rest)
{
    return Utils::ParseDecimalPrefix(rest);
}

uint32_t UInt32Value(const std::wstring& rest)
{
    size_t pos = 0;
    uint32_t value = 0;
    return ReadInteger(rest, pos, value) ? value : 0u;
}

int DottedIntegers(const std::wstring& rest, int* values, int count)
{
    size_t pos = 0;
    for (int n = 0; n < count; ++n) {
        if (n > 0) {
            if (pos >= rest.size() || rest[pos] != L'.') {
                return n;
            }
            ++pos;
        }
        uint32_t value = 0;
        if (!ReadInteger(rest, pos, value)) {
            return n;
        }
        values[n] = static_cast<int>(value);
    }
    return count;
}

} // namespace StatusLines
