#include "swf/ftagcode.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The names are what swfinfo prints and the tests report: the standard's,
// each on its own code; a code the list does not hold has none.
TEST(TagCodeTest, NamesFollowTheStandard)
{
    EXPECT_STREQ(FTagName(FTagCode::End), "End");
    EXPECT_STREQ(FTagName(FTagCode::PlaceObject2), "PlaceObject2");
    EXPECT_STREQ(FTagName(FTagCode::DefineBitsLossless2), "DefineBitsLossless2");
    EXPECT_STREQ(FTagName(FTagCode::DefineFont2), "DefineFont2");
    EXPECT_EQ(static_cast<unsigned>(FTagCode::DefineShape3), 32u);
    EXPECT_EQ(FTagName(static_cast<FTagCode>(3)), nullptr);
    EXPECT_EQ(FTagName(static_cast<FTagCode>(1023)), nullptr);

    int named = 0;
    for (unsigned a = 0; a < 1024; ++a) {
        const char* name = FTagName(static_cast<FTagCode>(a));
        if (!name) continue;
        ++named;
        for (unsigned b = a + 1; b < 1024; ++b) {
            const char* other = FTagName(static_cast<FTagCode>(b));
            EXPECT_FALSE(other && std::strcmp(name, other) == 0) << name << " on " << a << " and " << b;
        }
    }
    EXPECT_EQ(named, 36);
}

}  // namespace
