#include "platform/component/Guid.h"

#include <gtest/gtest.h>

namespace component {
namespace {

TEST(Guid, ParsesAndPrintsRoundTrip) {
    const auto g = Guid::Parse("{22c8bbad-8918-4858-8EED-45BEE06CC11F}");
    ASSERT_TRUE(g.has_value());
    EXPECT_EQ(g->data1, 0x22C8BBADu);
    EXPECT_EQ(g->data2, 0x8918);
    EXPECT_EQ(g->data3, 0x4858);
    EXPECT_EQ(g->data4[0], 0x8E);
    EXPECT_EQ(g->data4[7], 0x1F);
    EXPECT_EQ(g->ToString(), "{22C8BBAD-8918-4858-8EED-45BEE06CC11F}");
    EXPECT_EQ(*g, MakeGuid("{22C8BBAD-8918-4858-8EED-45BEE06CC11F}"));
}

TEST(Guid, RejectsMalformedText) {
    for (const char* bad :
         {"", "{}", "22C8BBAD-8918-4858-8EED-45BEE06CC11F", "{22C8BBAD-8918-4858-8EED-45BEE06CC11F",
          "{22C8BBAD-8918-4858-8EED-45BEE06CC11G}", "{22C8BBAD+8918-4858-8EED-45BEE06CC11F}",
          "{22C8BBAD-8918-4858-8EED-45BEE06CC11F}x", "{22C8BBAD-8918-4858-8EED45BEE06CC11FF}",
          "{ 2C8BBAD-8918-4858-8EED-45BEE06CC11F}"}) {
        EXPECT_FALSE(Guid::Parse(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace component
