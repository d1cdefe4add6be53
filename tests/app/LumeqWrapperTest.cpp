#include <QWidget>

#include <gtest/gtest.h>

#include "app/CLumeq.h"
#include "app/Resources.h"
#include "tests/app/RecordingControl.h"

namespace apptest {
namespace {

using component::Variant;

class LumeqWrapperTest : public ::testing::Test {
  protected:
    std::shared_ptr<DisplayLog> log = std::make_shared<DisplayLog>();
    QWidget host;
};

TEST_F(LumeqWrapperTest, EveryMethodGoesOutByItsDispatchIdWithItsArgumentType) {
    CLumeq display;
    ASSERT_EQ(display.Create(&host, QRect(1, 2, 3, 4), {}, RecordingCreator(log)), component::kOk);
    display.SetWM(1);
    display.SetSign(2);
    display.SetUnit(3);
    display.SetHex1(4);
    display.SetHex2(5);
    display.SetHex3(6);
    display.SetHex4(7);
    display.SetHex5(8);
    display.SetHex6(255);
    display.Display();
    display.SetBackColor(0x0000FF00);
    display.SetForeColor1(0);
    display.SetForeColor2(0x00123456);
    display.AboutBox();
    const std::vector<DisplayCall> expected = {
        ShortCall(1, 1),          ShortCall(2, 2), ShortCall(3, 3),          ShortCall(4, 4),
        ShortCall(5, 5),          ShortCall(6, 6), ShortCall(7, 7),          ShortCall(8, 8),
        ShortCall(9, 255),        NoArgCall(10),   LongCall(11, 0x0000FF00), LongCall(12, 0),
        LongCall(13, 0x00123456), NoArgCall(-552),
    };
    EXPECT_EQ(log->calls, expected);
    for (const DisplayCall& call : log->calls) {
        for (const Variant& arg : call.args)
            EXPECT_EQ(arg.Type(), call.id <= 9 ? component::VarType::I2 : component::VarType::I4);
    }
}

TEST_F(LumeqWrapperTest, LoadsTheSavedStateAndActivatesInTheHostAtTheGivenPlace) {
    CLumeq display;
    const std::vector<std::uint8_t> state = resources::PanelDisplayState();
    ASSERT_EQ(display.Create(&host, QRect(187, 44, 359, 101), state, RecordingCreator(log)),
              component::kOk);
    ASSERT_EQ(log->loads.size(), 1u);
    EXPECT_EQ(log->loads[0], state);
    EXPECT_EQ(log->activatedIn, &host);
    EXPECT_EQ(log->activatedAt, QRect(187, 44, 359, 101));
    ASSERT_NE(display.Widget(), nullptr);
    EXPECT_EQ(display.Widget()->parentWidget(), &host);
}

TEST(PanelDisplayState, IsVersionOneExtent9499By2672NoStockProperties) {
    const std::vector<std::uint8_t> expected = {0x00, 0x00, 0x01, 0x00, 0x1B, 0x25, 0x00, 0x00,
                                                0x70, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(resources::PanelDisplayState(), expected);
}

TEST_F(LumeqWrapperTest, UnattachedCallsDoNothingAndTeardownLetsTheControlGo) {
    CLumeq never;
    EXPECT_EQ(
        never.Create(&host, QRect(), {}, RecordingCreator(log, component::kClassNotRegistered)),
        component::kClassNotRegistered);
    never.SetWM(1);
    never.Display();
    EXPECT_FALSE(never.IsAttached());
    EXPECT_EQ(log->activations, 0);

    CLumeq detached;
    ASSERT_EQ(detached.Create(&host, QRect(), {}, RecordingCreator(log)), component::kOk);
    detached.Detach();
    detached.SetHex1(4);
    detached.SetBackColor(1);
    EXPECT_EQ(detached.Widget(), nullptr);
    {
        CLumeq destroyed;
        ASSERT_EQ(destroyed.Create(&host, QRect(), {}, RecordingCreator(log)), component::kOk);
        EXPECT_EQ(log->liveObjects, 1);
    }
    EXPECT_TRUE(log->calls.empty());
    EXPECT_EQ(log->deactivations, 2);
    EXPECT_EQ(log->liveObjects, 0);
    EXPECT_TRUE(host.findChildren<QWidget*>().isEmpty());
}

}  // namespace
}  // namespace apptest
