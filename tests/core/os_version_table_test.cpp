// Version names for every row of the table, including the numbers it has no name for.
#include <gtest/gtest.h>

#include <string>

#include "os_version.h"

namespace {

struct VersionCase {
    unsigned major;
    unsigned minor;
    unsigned build;
    bool serverR2;
    const wchar_t* name;
};

const VersionCase kVersions[] = {
    {0, 0, 0, false, L"XP-"},
    {3, 51, 1057, false, L"XP-"},
    {4, 0, 1381, false, L"XP-"},
    {4, 90, 3000, true, L"XP-"},
    {5, 0, 2195, false, L"2K"},
    {5, 0, 2195, true, L"2K"},
    {5, 1, 2600, false, L"XP"},
    {5, 1, 2600, true, L"XP"},
    {5, 2, 3790, false, L"Server 2003"},
    {5, 2, 3790, true, L"Server 2003 R2"},
    {5, 3, 0, false, L"XP+"},
    {5, 99, 1, true, L"XP+"},
    {6, 0, 6000, false, L"Vista"},
    {6, 0, 6002, true, L"Vista"},
    {6, 1, 7601, false, L"7"},
    {6, 2, 9200, false, L"8"},
    {6, 3, 9600, false, L"8.1"},
    {6, 4, 9841, false, L"8.1+"},
    {6, 10, 0, false, L"8.1+"},
    {10, 0, 10240, false, L"10"},
    {10, 0, 22631, false, L"10"}, // Windows 11 still reports 10.0
    {10, 0, 19045, true, L"10"},
    {10, 1, 0, false, L"10+"},
    {10, 7, 30000, false, L"10+"},
    // No name: the numbers themselves.
    {7, 0, 1, false, L"7.0.1"},
    {8, 1, 2, true, L"8.1.2"},
    {9, 9, 9999, false, L"9.9.9999"},
    {11, 2, 22000, false, L"11.2.22000"},
    {11, 0, 0, false, L"11.0.0"},
    {4294967295u, 4294967295u, 65535, false, L"4294967295.4294967295.65535"},
};

class OSVersionNameTest : public testing::TestWithParam<VersionCase> {};

TEST_P(OSVersionNameTest, Name)
{
    const auto& c = GetParam();
    EXPECT_EQ(Utils::OSVersionNameFor(c.major, c.minor, c.build, c.serverR2), c.name);
}

INSTANTIATE_TEST_SUITE_P(Table, OSVersionNameTest, testing::ValuesIn(kVersions),
                         [](const testing::TestParamInfo<VersionCase>& info) {
                             const auto& c = info.param;
                             return std::to_string(c.major) + "_" + std::to_string(c.minor) + "_" +
                                    std::to_string(c.build) + (c.serverR2 ? "_R2" : "");
                         });

} // namespace
