#include <gtest/gtest.h>

#include <QAccessible>
#include <QSignalSpy>
#include <QWidget>

#include "tests/display/LumeqHost.h"

namespace lumeq_test {
namespace {

using component::kOk;

constexpr DispId kSetWM = 1, kSetSign = 2, kSetUnit = 3, kSetHex1 = 4, kDisplay = 10;

struct Frame {
    std::uint8_t wm, sign, unit;
    std::uint8_t hex[6];
};

void Send(component::Dispatch& ctrl, const Frame& f, bool display = true) {
    Call(ctrl, kSetWM, {Variant::I2(f.wm)});
    Call(ctrl, kSetSign, {Variant::I2(f.sign)});
    Call(ctrl, kSetUnit, {Variant::I2(f.unit)});
    for (int i = 0; i < 6; ++i)
        Call(ctrl, kSetHex1 + i, {Variant::I2(f.hex[i])});
    if (display)
        Call(ctrl, kDisplay);
}

// A control active in a host widget, and its display as assistive technology meets it.
class LumeqAccessibleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ctrl = CreateControl();
        ASSERT_TRUE(ctrl);
        inPlace = ctrl.Query<component::InPlaceObject>(component::kIidInPlaceObject);
        ASSERT_EQ(inPlace->Activate(&host, QRect(0, 0, 359, 101)), kOk);
        display = QAccessible::queryAccessibleInterface(inPlace->Widget());
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        if (inPlace)
            inPlace->Deactivate();
    }

    QWidget host;
    Ref<component::Dispatch> ctrl;
    Ref<component::InPlaceObject> inPlace;
    QAccessibleInterface* display = nullptr;
};

// The display read the way assistive technology reads it: its accessible name and value, and
// the change events a screen reader is told of.
TEST_F(LumeqAccessibleTest, ReadingFollowsTheFramesWithOneEventPerChange) {
    EXPECT_EQ(display->text(QAccessible::Name), "Scale display");
    EXPECT_EQ(display->text(QAccessible::Value),
              "8.8.8.8.8.8. kg lb oz st viss gross net, data, "
              "zero, hold, stable, tare, battery low, over "
              "load, 6 of 6 bars")
        << "a fresh control shows every element";

    // Raised with the accessible value-change event, which Qt passes on only while a screen
    // reader listens.
    QSignalSpy events(inPlace->Widget(), SIGNAL(readingChanged(QString)));
    ASSERT_TRUE(events.isValid());

    const struct {
        Frame frame;
        const char* reading;
        bool changed;
    } cases[] = {
        {{0, 0, 0x01, {0x06, 0x5B, 0xCF, 0x66, 0x6D, 0x7D}}, "123.456 kg", true},
        {{0, 0, 0x01, {0x06, 0x5B, 0xCF, 0x66, 0x6D, 0x7D}}, "123.456 kg", false},
        {{0x80 | 0x0E, 0x05, 0x42, {0, 0, 0x40, 0xBF, 0x6D, 0x3F}},
         "-0.50 lb net, zero, stable, over load, 3 of 6 bars",
         true},
        // Letters, a shape that is no character, a point on a blank cell, an inner blank.
        {{0x02, 0x20, 0, {0, 0x77, 0x0A, 0x80, 0x00, 0x39}}, "A? . C, data, 1 of 6 bars", true},
        {{0, 0, 0, {0, 0, 0, 0, 0, 0}}, "", true},
    };
    for (const auto& c : cases) {
        const qsizetype before = events.size();
        Send(*ctrl.Get(), c.frame);
        EXPECT_EQ(display->text(QAccessible::Value), c.reading);
        ASSERT_EQ(events.size(), before + (c.changed ? 1 : 0)) << c.reading;
        if (c.changed) {
            EXPECT_EQ(events.back().at(0).toString(), c.reading);
        }
    }
    // Values stored but not yet shown are not read either.
    Send(*ctrl.Get(), cases[0].frame, false);
    EXPECT_EQ(display->text(QAccessible::Value), "");
    EXPECT_EQ(events.size(), 4);
}

// What a screen reader reads and hears: the Text and Value interfaces, one announcement per
// settled reading, and the host's note that the picture is only the last reading.
TEST_F(LumeqAccessibleTest, TextValueAndAnnouncementsOfSettledReadings) {
    ASSERT_NE(display->textInterface(), nullptr);
    ASSERT_NE(display->valueInterface(), nullptr);
    // Raised with each accessible value-change event (which needs a platform bridge to be seen).
    QSignalSpy announced(inPlace->Widget(), SIGNAL(readingSettled(QString)));
    ASSERT_TRUE(announced.isValid());

    const Frame stable{0, 0x04, 0x01, {0x06, 0x5B, 0xCF, 0x66, 0x6D, 0x7D}};
    Send(*ctrl.Get(), stable);
    QAccessibleTextInterface& text = *display->textInterface();
    EXPECT_EQ(text.text(0, -1), "123.456 kg, stable");
    EXPECT_EQ(text.characterCount(), 18);
    EXPECT_EQ(text.text(4, 10), "456 kg");
    EXPECT_DOUBLE_EQ(display->valueInterface()->currentValue().toDouble(), 123.456);
    ASSERT_TRUE(WaitUntil([&] { return !announced.empty(); }));
    EXPECT_EQ(announced.takeFirst().at(0).toString(), "123.456 kg, stable");
    Send(*ctrl.Get(), stable);  // the same reading again is no news

    auto note = ctrl.Query<component::ReadingNote>(component::kIidReadingNote);
    ASSERT_TRUE(note);
    ASSERT_EQ(note->SetReadingNote("Last reading, port closed"), kOk);
    const QString closed = "Last reading, port closed: 123.456 kg, stable";
    EXPECT_EQ(text.text(0, -1), closed);
    ASSERT_TRUE(WaitUntil([&] { return !announced.empty(); }));
    EXPECT_EQ(announced.takeFirst().at(0).toString(), closed);
    EXPECT_TRUE(announced.empty());
}

}  // namespace
}  // namespace lumeq_test
