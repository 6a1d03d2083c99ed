// Text helpers against Wine's real code-page tables and UTF-8 decoder.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "text.h"

using namespace std::string_literals;

namespace {

struct CodePageCase {
    UINT codePage;
    std::wstring wide;
    std::string bytes;
};

const CodePageCase kCodePageCases[] = {
    {1251, L"\x041F\x0440\x0438\x0432\x0435\x0442", "\xCF\xF0\xE8\xE2\xE5\xF2"}, // Привет
    {1251, L"\x0401\x0451 \x0416", "\xA8\xB8 \xC6"},                              // Ёё Ж
    {936, L"\x4E2D\x6587", "\xD6\xD0\xCE\xC4"},                                   // 中文
    {936, L"a\x4E2D" L"b", "a\xD6\xD0" "b"},                                      // single and double bytes mixed
    {1252, L"caf\x00E9 \x20AC", "caf\xE9 \x80"},                                  // café €
    {1252, L"plain ASCII 0123", "plain ASCII 0123"},
    {1252, L"a\0b"s, "a\0b"s}, // the explicit length counts, not a terminating NUL
};

class CodePageTest : public testing::TestWithParam<CodePageCase> {};

TEST_P(CodePageTest, DecodesBytes)
{
    EXPECT_EQ(Utils::MultiByteToUnicode(GetParam().bytes, GetParam().codePage), GetParam().wide);
}

TEST_P(CodePageTest, EncodesText)
{
    EXPECT_EQ(Utils::UnicodeToMultiByte(GetParam().wide, GetParam().codePage), GetParam().bytes);
}

TEST_P(CodePageTest, RoundTrips)
{
    const auto& c = GetParam();
    EXPECT_EQ(Utils::UnicodeToMultiByte(Utils::MultiByteToUnicode(c.bytes, c.codePage), c.codePage), c.bytes);
    EXPECT_EQ(Utils::MultiByteToUnicode(Utils::UnicodeToMultiByte(c.wide, c.codePage), c.codePage), c.wide);
}

INSTANTIATE_TEST_SUITE_P(Tables, CodePageTest, testing::ValuesIn(kCodePageCases));

TEST(CodePage, EmptyInputGivesEmptyOutput)
{
    for (UINT codePage : {1251u, 936u, 1252u, static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        SCOPED_TRACE(codePage);
        EXPECT_EQ(Utils::MultiByteToUnicode("", codePage), L"");
        EXPECT_EQ(Utils::UnicodeToMultiByte(L"", codePage), "");
    }
}

TEST(CodePage, UnknownCodePageGivesEmpty)
{
    for (UINT codePage : {12345u, 54321u, 0xFFFFu}) {
        SCOPED_TRACE(codePage);
        EXPECT_EQ(Utils::MultiByteToUnicode("abc", codePage), L"");
        EXPECT_EQ(Utils::UnicodeToMultiByte(L"abc", codePage), "");
    }
}

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::wstring wide;
};

const Utf8Case kValidUtf8[] = {
    {"empty", "", L""},
    {"ascii", "Setup 1.0", L"Setup 1.0"},
    {"embedded NUL", "a\0b"s, L"a\0b"s},
    {"cyrillic", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", L"\x041F\x0440\x0438\x0432\x0435\x0442"},
    {"chinese", "\xE4\xB8\xAD\xE6\x96\x87", L"\x4E2D\x6587"},
    {"last one byte", "\x7F", L"\x007F"},
    {"first two bytes", "\xC2\x80", L"\x0080"},
    {"last two bytes", "\xDF\xBF", L"\x07FF"},
    {"first three bytes", "\xE0\xA0\x80", L"\x0800"},
    {"below surrogates", "\xED\x9F\xBF", L"\xD7FF"},
    {"above surrogates", "\xEE\x80\x80", L"\xE000"},
    {"last three bytes", "\xEF\xBF\xBF", L"\xFFFF"},
    // Outside the Basic Multilingual Plane: a surrogate pair, never dropped.
    {"emoji", "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
    {"first four bytes", "\xF0\x90\x80\x80", L"\xD800\xDC00"},
    {"last code point", "\xF4\x8F\xBF\xBF", L"\xDBFF\xDFFF"},
    {"emoji in text", "a\xF0\x9F\x98\x80z", L"a\xD83D\xDE00z"},
};

class Utf8ValidTest : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ValidTest, Decodes) { EXPECT_EQ(Utils::Utf8ToUnicode(GetParam().utf8), GetParam().wide); }

TEST_P(Utf8ValidTest, EncodesBack) { EXPECT_EQ(Utils::UnicodeToUtf8(GetParam().wide), GetParam().utf8); }

INSTANTIATE_TEST_SUITE_P(Tables, Utf8ValidTest, testing::ValuesIn(kValidUtf8),
                         [](const testing::TestParamInfo<Utf8Case>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (!isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

// Each must give an empty result as a whole, even with valid text around it.
const char* const kInvalidUtf8[] = {
    "\x80",                 // lone continuation byte
    "abc\xBF",              // lone continuation byte after text
    "\xD0",                 // truncated two-byte sequence
    "\xD0\x9F\xD1",         // valid letter, then truncated
    "abc\xE4\xB8",          // truncated three-byte sequence
    "\xF0\x9F\x98",         // truncated four-byte sequence
    "\xC3\x28",             // lead byte followed by a non-continuation
    "\xE4\x28\xAD",         // continuation missing in the middle
    "\xC0\xAF",             // overlong "/"
    "\xC1\xBF",             // overlong two-byte form
    "\xE0\x80\xAF",         // overlong three-byte form
    "\xF0\x80\x80\xAF",     // overlong four-byte form
    "\xED\xA0\x80",         // encoded high surrogate
    "\xED\xBF\xBF",         // encoded low surrogate
    "\xED\xA0\xBD\xED\xB8\x80", // surrogate pair encoded as two sequences
    "\xF4\x90\x80\x80",     // beyond U+10FFFF
    "\xF5\x80\x80\x80",     // lead byte beyond U+10FFFF
    "\xF8\x88\x80\x80\x80", // five-byte form
    "\xFC\x84\x80\x80\x80\x80", // six-byte form
    "\xFE",
    "\xFF",
    "Setup\xFF" "1.0",
};

class Utf8InvalidTest : public testing::TestWithParam<const char*> {};

TEST_P(Utf8InvalidTest, GivesEmptyResult) { EXPECT_EQ(Utils::Utf8ToUnicode(GetParam()), L""); }

INSTANTIATE_TEST_SUITE_P(Tables, Utf8InvalidTest, testing::ValuesIn(kInvalidUtf8));

TEST(UIntText, Decimal)
{
    const struct {
        unsigned value;
        const char* narrow;
        const wchar_t* wide;
    } cases[] = {
        {0u, "0", L"0"},
        {7u, "7", L"7"},
        {10u, "10", L"10"},
        {2147483647u, "2147483647", L"2147483647"},
        {2147483648u, "2147483648", L"2147483648"}, // no sign trouble past INT_MAX
        {4294967295u, "4294967295", L"4294967295"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.narrow);
        EXPECT_EQ(Utils::UIntToString(c.value), c.narrow);
        EXPECT_EQ(Utils::UIntToWString(c.value), c.wide);
    }
}

TEST(Trim, RemovesOnlyAsciiWhiteSpace)
{
    const struct {
        std::wstring text;
        std::wstring trimmed;
    } cases[] = {
        {L"", L""},
        {L" \t\n\v\f\r", L""},
        {L"abc", L"abc"},
        {L" \t\n\v\f\rabc \t\n\v\f\r", L"abc"},
        {L"  a b\tc  ", L"a b\tc"}, // inner white space stays
        {L"x", L"x"},
        {L" x", L"x"},
        {L"x ", L"x"},
        // Other Unicode spaces are content, not padding.
        {L"\x00A0x\x00A0", L"\x00A0x\x00A0"},
        {L"\x3000x\x3000", L"\x3000x\x3000"},
        {L"\x0085x\x2028", L"\x0085x\x2028"},
        {L" \x00A0 ", L"\x00A0"},
        {L"a\0"s, L"a\0"s}, // NUL is not white space
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(Utils::Trim(c.text), c.trimmed);
    }
}

TEST(StartsWith, ExactAndCaseSensitive)
{
    const struct {
        const wchar_t* text;
        const wchar_t* prefix;
        bool expected;
    } cases[] = {
        {L"", L"", true},
        {L"abc", L"", true},
        {L"abc", L"a", true},
        {L"abc", L"ab", true},
        {L"abc", L"abc", true},
        {L"abc", L"abcd", false}, // longer than the text
        {L"", L"a", false},
        {L"ab", L"abc", false},
        {L"abc", L"ABC", false},
        {L"Abc", L"a", false},
        {L"abc", L"b", false},   // found later, not at the start
        {L"abc", L"bc", false},
        {L"xabc", L"abc", false},
        {L"\x041F\x0440\x0438\x0432\x0435\x0442", L"\x041F\x0440\x0438", true},
        {L"\x043F\x0440\x0438\x0432\x0435\x0442", L"\x041F\x0440\x0438", false}, // lower-case first letter
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)) + " / " +
                     testing::PrintToString(std::wstring(c.prefix)));
        EXPECT_EQ(Utils::StartsWith(c.text, c.prefix), c.expected);
    }
}

} // namespace
