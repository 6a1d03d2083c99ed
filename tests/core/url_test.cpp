// The segment before the file name of a package address carries its expected MD5.
#include <gtest/gtest.h>

#include <string>

#include "url.h"

namespace {

TEST(ParentUrlSegment, TextBetweenTheLastTwoSlashes)
{
    const struct {
        const char* url;
        const char* segment;
    } cases[] = {
        {"", ""},
        {"setup.exe", ""},
        {"a/b", ""},      // one slash only
        {"/x", ""},
        {"a/", ""},
        {"/", ""},
        {"//", ""},
        {"a//b", ""},     // empty segment
        {"a/b/", "b"},
        {"/a/", "a"},
        {"a/b/c", "b"},
        {"a/b/c/d", "c"},
        {"http://h/0123456789abcdef0123456789abcdef/setup.exe", "0123456789abcdef0123456789abcdef"},
        {"http://host/setup.exe", "host"},
        {"https://cdn.example/dl/v2/ABCDEF/setup.exe", "ABCDEF"},
        // A query string is ordinary text here.
        {"http://h/a?x=1/b", "a?x=1"},
        {"http://h/d41d8cd98f00b204e9800998ecf8427e/setup.exe?t=1", "d41d8cd98f00b204e9800998ecf8427e"},
        {"http://h/x/setup.exe?next=/y/z", "y"},
        {"a\\b\\c", ""},  // backslashes are not separators
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(Utils::GetParentUrlSegment(c.url), c.segment);
    }
}

} // namespace
