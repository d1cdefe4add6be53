// The key words that standard input and the broker's key topic take.

#include "scale/KeyNames.h"

#include <gtest/gtest.h>

#include <string_view>

namespace mqtt {
namespace {

TEST(KeyNames, WordsAndTheirBytes) {
    const struct {
        std::string_view line;
        int byte;  // -1: refused
    } cases[] = {
        {"DATA", 'D'},
        {"MODE\r", 'M'},
        {"  TARE  ", 'T'},
        {"ON/OFF", 'O'},
        {"TARE double", 0xD4},
        {"ON/OFF double", 0xCF},
        {"tare", -1},
        {"TARE twice", -1},
        {"TAREdouble", -1},
        {"", -1},
        {"T", -1},
        {"DATA double x", -1},
    };
    for (const auto& c : cases) {
        const auto byte = scale::KeyByte(c.line);
        EXPECT_EQ(byte ? int{*byte} : -1, c.byte) << c.line;
    }
}

}  // namespace
}  // namespace mqtt
