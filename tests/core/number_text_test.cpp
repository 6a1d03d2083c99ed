// Lenient number reading for settings values.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "number_text.h"

namespace {

TEST(ParseIntPrefix, Table)
{
    const struct {
        const wchar_t* text;
        int32_t value;
    } cases[] = {
        {L"42", 42},
        {L"  -7x", -7},
        {L"+3", 3},
        {L" \t\r\n12", 12},
        {L"007", 7},
        {L"12abc34", 12},
        {L"-0", 0},
        {L"abc", 0},
        {L"", 0},
        {L"-", 0},
        {L"+", 0},
        {L"- 5", 0},
        {L"+-5", 0},
        {L"x42", 0},
        {L"2147483647", INT32_MAX},
        {L"2147483648", INT32_MAX},
        {L"99999999999999999999999", INT32_MAX},
        {L"-2147483647", -2147483647},
        {L"-2147483648", INT32_MIN},
        {L"-2147483649", INT32_MIN},
        {L"-99999999999", INT32_MIN},
        {L"-99999999999999999999999", INT32_MIN},
        {L"4294967296", INT32_MAX}, // not wrapped round to 0
        {L"4294967338", INT32_MAX}, // not wrapped round to 42
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(Utils::ParseIntPrefix(c.text), c.value);
    }
}

TEST(ParseDecimalPrefix, Table)
{
    const struct {
        const wchar_t* text;
        double value;
    } cases[] = {
        {L"0.5x", 0.5},
        {L"abc", 0.0},
        {L"", 0.0},
        {L" .25", 0.25},
        {L"+.5", 0.5},
        {L"1e3", 1000.0},
        {L"1.5e2x", 150.0},
        {L"2E-2", 0.02},
        {L"1e", 1.0},
        {L"1e+", 1.0},
        {L"1ex", 1.0},
        {L"-0.3", -0.3},
        {L"5.", 5.0},
        {L"3,5", 3.0}, // a comma is no decimal point
        {L".", 0.0},
        {L"-", 0.0},
        {L"-.e5", 0.0},
        // Forms the runtime would read, which settings never mean.
        {L"inf", 0.0},
        {L"-inf", 0.0},
        {L"INFINITY", 0.0},
        {L"nan", 0.0},
        {L"NaN(1)", 0.0},
        {L"0x10", 0.0},
        {L"0x1p3", 0.0},
        // Too large to hold.
        {L"1e999", 0.0},
        {L"-1e999", 0.0},
        {L"1.7976931348623157e308", 1.7976931348623157e308},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        EXPECT_DOUBLE_EQ(Utils::ParseDecimalPrefix(c.text), c.value);
    }
}

} // namespace
