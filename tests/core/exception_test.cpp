#include <gtest/gtest.h>

#include <string>

#include "exception.h"

TEST(Exception, CarriesNoMessageWhateverItIsGiven)
{
    try {
        throw Utils::Exception(std::string("pipe could not be created"));
    } catch (const std::exception& e) {
        EXPECT_STREQ("", e.what());
    }
    EXPECT_STREQ("", Utils::Exception(42).what());
}
