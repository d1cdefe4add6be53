#include "platform/serial/LineSettingsText.h"

#include <gtest/gtest.h>

#include "platform/serial/BaudRates.h"

namespace {

using serial_port::LineState;
using serial_port::Parity;
using serial_port::StopBits;

struct GoodCase {
    const char* text;
    unsigned baud;
    Parity parity;
    int dataBits;
    StopBits stopBits;
};

TEST(LineSettingsText, AcceptsWellFormedTexts) {
    const GoodCase cases[] = {
        {"baud=9600 parity=N data=8 stop=1", 9600, Parity::kNone, 8, StopBits::kOne},
        {"baud=115200 parity=E data=7 stop=2", 115200, Parity::kEven, 7, StopBits::kTwo},
        {"baud=300 parity=O data=6 stop=1", 300, Parity::kOdd, 6, StopBits::kOne},
        {"baud=4000000 parity=M data=8 stop=1", 4000000, Parity::kMark, 8, StopBits::kOne},
        {"baud=50 parity=S data=5 stop=1.5", 50, Parity::kSpace, 5, StopBits::kOneAndHalf},
        {"baud=134 parity=n data=8 stop=1", 134, Parity::kNone, 8, StopBits::kOne},
        // Any positive rate: whether the device runs at it is for applying the settings.
        {"baud=14400 parity=N data=8 stop=1", 14400, Parity::kNone, 8, StopBits::kOne},
        {"baud=96 parity=N data=8 stop=1", 96, Parity::kNone, 8, StopBits::kOne},
        {"BAUD=19200 Parity=e DATA=8 Stop=1", 19200, Parity::kEven, 8, StopBits::kOne},
        {"  stop=1   data=8\tparity=N baud=2400  ", 2400, Parity::kNone, 8, StopBits::kOne},
    };
    for (const GoodCase& c : cases) {
        LineState state;
        state.baud = 1200;
        ASSERT_TRUE(serial_port::ApplyLineSettingsText(c.text, state)) << c.text;
        EXPECT_EQ(state.baud, c.baud) << c.text;
        EXPECT_EQ(state.parity, c.parity) << c.text;
        EXPECT_EQ(state.dataBits, c.dataBits) << c.text;
        EXPECT_EQ(state.stopBits, c.stopBits) << c.text;
    }
}

TEST(LineSettingsText, KeysLeftOutKeepTheirValue) {
    LineState state;
    state.baud = 4800;
    state.parity = Parity::kOdd;
    state.dataBits = 7;
    state.stopBits = StopBits::kTwo;
    ASSERT_TRUE(serial_port::ApplyLineSettingsText("baud=38400", state));
    EXPECT_EQ(state.baud, 38400u);
    EXPECT_EQ(state.parity, Parity::kOdd);
    EXPECT_EQ(state.dataBits, 7);
    EXPECT_EQ(state.stopBits, StopBits::kTwo);
}

TEST(LineSettingsText, RefusesBadTextsAndLeavesTheStateAlone) {
    const char* cases[] = {
        "",
        "   ",
        "baud=0 parity=N data=8 stop=1",  // hang-up, not a rate
        "baud=-9600 parity=N data=8 stop=1",
        "baud=9600.0 parity=N data=8 stop=1",
        "baud=9600000000 parity=N data=8 stop=1",
        "baud= parity=N data=8 stop=1",
        "baud=9600 parity=X data=8 stop=1",
        "baud=9600 parity=NN data=8 stop=1",
        "baud=9600 parity= data=8 stop=1",
        "baud=9600 parity=N data=4 stop=1",
        "baud=9600 parity=N data=9 stop=1",
        "baud=9600 parity=N data=8 stop=0",
        "baud=9600 parity=N data=8 stop=3",
        "baud=9600 parity=N data=8 stop=1.5",  // 1.5 stop bits need 5 data bits
        "baud=9600 parity=N data=5 stop=2",    // 2 stop bits never with 5 data bits
        "baud=9600 parity=N data=8 stop=1 baud=9600",
        "baud=9600 parity=N data=8 stop=1 xon=on",
        "baud=9600,parity=N,data=8,stop=1",
        "baud 9600",
        "=9600",
        "9600,N,8,1",
    };
    for (const char* text : cases) {
        LineState state;
        const LineState before = state;
        EXPECT_FALSE(serial_port::ApplyLineSettingsText(text, state)) << '"' << text << '"';
        EXPECT_EQ(state, before) << text;
    }
}

TEST(BaudRates, SpeedCodesRoundTrip) {
    for (unsigned baud : {50u, 9600u, 115200u, 4000000u}) {
        const auto code = serial_port::SpeedCodeOf(baud);
        ASSERT_TRUE(code.has_value()) << baud;
        EXPECT_EQ(serial_port::BaudOfSpeedCode(*code), baud);
    }
    EXPECT_FALSE(serial_port::IsKnownBaudRate(0));
    EXPECT_FALSE(serial_port::IsKnownBaudRate(14400));
}

}  // namespace
