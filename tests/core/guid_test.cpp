// GUID text: 32 hex digits, upper case but for the third group of four.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "guid.h"

namespace {

TEST(FormatGuidString, KnownGuids)
{
    const struct {
        GUID guid;
        const wchar_t* text;
    } cases[] = {
        {{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}},
         L"0123456789ABcdef0123456789ABCDEF"},
        {{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}}, L"00000000000000000000000000000000"},
        {{0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
         L"FFFFFFFFFFFFffffFFFFFFFFFFFFFFFF"},
        // Leading zeros are kept in every field.
        {{0x1, 0x2, 0x3, {0x0, 0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7}}, L"00000001000200030001020304050607"},
        {{0xFEDCBA98, 0x7654, 0x3210, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}},
         L"FEDCBA9876543210FEDCBA9876543210"},
        {{0xA0B0C0D0, 0xE0F0, 0xABCD, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0xA1, 0xB2}},
         L"A0B0C0D0E0F0abcd0A0B0C0D0E0FA1B2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(Utils::FormatGuidString(c.guid), c.text);
    }
}

bool HasGuidShape(const std::wstring& text)
{
    if (text.size() != 32) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool lowerGroup = i >= 12 && i < 16;
        const bool letterOk = lowerGroup ? (c >= L'a' && c <= L'f') : (c >= L'A' && c <= L'F');
        if (!(c >= L'0' && c <= L'9') && !letterOk) {
            return false;
        }
    }
    return true;
}

TEST(CreateGuidString, FreshGuidsHaveTheShapeAndDiffer)
{
    std::set<std::wstring> seen;
    for (int i = 0; i < 100; ++i) {
        const std::wstring text = Utils::CreateGuidString();
        ASSERT_TRUE(HasGuidShape(text)) << testing::PrintToString(text);
        // A random (version 4, RFC 4122 variant) GUID: the fields land where they belong.
        EXPECT_EQ(text[12], L'4') << testing::PrintToString(text);
        EXPECT_NE(std::wstring(L"89AB").find(text[16]), std::wstring::npos) << testing::PrintToString(text);
        EXPECT_TRUE(seen.insert(text).second) << "repeated " << testing::PrintToString(text);
    }
}

} // namespace
