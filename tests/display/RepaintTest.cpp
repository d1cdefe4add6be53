#include <gtest/gtest.h>

#include <memory>

#include <QPointer>
#include <QWidget>

#include "tests/display/LumeqHost.h"
#include "tests/display/PaintCounter.h"

namespace lumeq_test {
namespace {

using component::kOk;

constexpr DispId kSetWM = 1, kSetHex6 = 9, kDisplay = 10, kSetBackColor = 11, kSetForeColor1 = 12,
                 kSetForeColor2 = 13;
const QRect kGeometry(10, 20, 359, 101);

// A host window with the control active in place and a probe widget beside it. Updates of
// widgets in one window are painted in one pass, so once an update of the probe has been painted,
// any update the control had asked for has been painted too.
class LumeqRepaintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_host = std::make_unique<QWidget>();
        m_host->resize(400, 200);
        m_probe = new QWidget(m_host.get());
        m_probe->setGeometry(0, 150, 20, 20);
        m_probeCounter = std::make_unique<PaintCounter>(m_probe);

        m_ctrl = CreateControl();
        ASSERT_TRUE(m_ctrl);
        m_inPlace = m_ctrl.Query<component::InPlaceObject>(component::kIidInPlaceObject);
        ASSERT_TRUE(m_inPlace);
        ASSERT_EQ(m_inPlace->Activate(m_host.get(), kGeometry), kOk);
        QWidget* window = m_inPlace->Widget();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->parentWidget(), m_host.get());
        EXPECT_EQ(window->geometry(), kGeometry);
        m_counter = std::make_unique<PaintCounter>(m_inPlace->Widget());
        m_host->show();
        ASSERT_TRUE(WaitUntil([&] { return m_counter->Count() > 0; })) << "never painted";
        Settle();
    }

    void TearDown() override {
        m_counter.reset();
        if (m_inPlace)
            m_inPlace->Deactivate();
        m_inPlace.Reset();
        m_ctrl.Reset();
        m_probeCounter.reset();
        m_host.reset();
    }

    // Returns once every update asked for so far has been painted.
    void Settle() {
        const int before = m_probeCounter->Count();
        m_probe->update();
        ASSERT_TRUE(WaitUntil([&] { return m_probeCounter->Count() > before; }));
    }

    std::unique_ptr<QWidget> m_host;
    QWidget* m_probe = nullptr;
    std::unique_ptr<PaintCounter> m_probeCounter;
    Ref<component::Dispatch> m_ctrl;
    Ref<component::InPlaceObject> m_inPlace;
    std::unique_ptr<PaintCounter> m_counter;
};

TEST_F(LumeqRepaintTest, SettersDoNotRepaint) {
    const int before = m_counter->Count();
    for (DispId id = kSetWM; id <= kSetHex6; ++id)
        ASSERT_EQ(Call(*m_ctrl.Get(), id, {Variant::I2(0x12)}), kOk);
    ASSERT_EQ(Call(*m_ctrl.Get(), kSetBackColor, {Variant::I4(0x00FF0000)}), kOk);
    ASSERT_EQ(Call(*m_ctrl.Get(), kSetForeColor1, {Variant::I4(0x000000FF)}), kOk);
    ASSERT_EQ(Call(*m_ctrl.Get(), kSetForeColor2, {Variant::I4(0x0000FFFF)}), kOk);
    Settle();
    EXPECT_EQ(m_counter->Count(), before);
}

TEST_F(LumeqRepaintTest, SeveralDisplayCallsMakeOnePaintOfTheLatestValues) {
    const int before = m_counter->Count();
    for (DispId id = kSetWM; id <= kSetHex6; ++id)
        Call(*m_ctrl.Get(), id, {Variant::I2(0x21)});
    ASSERT_EQ(Call(*m_ctrl.Get(), kDisplay), kOk);
    Call(*m_ctrl.Get(), kSetBackColor, {Variant::I4(0x00FF0000)});
    ASSERT_EQ(Call(*m_ctrl.Get(), kDisplay), kOk);
    ASSERT_EQ(Call(*m_ctrl.Get(), kDisplay), kOk);
    EXPECT_EQ(m_counter->Count(), before) << "Display paints later, not at once";
    ASSERT_TRUE(WaitUntil([&] { return m_counter->Count() > before; }));
    Settle();
    EXPECT_EQ(m_counter->Count(), before + 1);

    // What the window shows is the control's picture of the values at paint time. Grabbing
    // paints once more, after the count was taken.
    const QImage shown =
        m_inPlace->Widget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(SamePicture(shown, Picture(*m_ctrl.Get(), kGeometry.size())));
}

TEST_F(LumeqRepaintTest, DeactivateRemovesTheWindowAndDisplayThenDoesNothing) {
    QPointer<QWidget> window = m_inPlace->Widget();
    m_counter.reset();
    ASSERT_EQ(m_inPlace->Deactivate(), kOk);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(m_inPlace->Widget(), nullptr);
    EXPECT_EQ(Call(*m_ctrl.Get(), kDisplay), kOk);
    EXPECT_EQ(m_inPlace->Deactivate(), kOk) << "a second Deactivate is harmless";
}

TEST_F(LumeqRepaintTest, HostWindowDestroyedFirstLeavesTheControlUsable) {
    m_counter.reset();
    m_probeCounter.reset();
    m_host.reset();
    EXPECT_EQ(m_inPlace->Widget(), nullptr);
    EXPECT_EQ(Call(*m_ctrl.Get(), kDisplay), kOk);
    EXPECT_EQ(Call(*m_ctrl.Get(), kSetWM, {Variant::I2(1)}), kOk);
    EXPECT_EQ(m_inPlace->Deactivate(), kOk);
}

TEST(LumeqInPlaceTest, DisplayBeforeActivationDoesNothing) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    const QImage before = Picture(*ctrl.Get());
    EXPECT_EQ(Call(*ctrl.Get(), kDisplay), kOk);
    EXPECT_TRUE(SamePicture(Picture(*ctrl.Get()), before));
}

TEST(LumeqInPlaceTest, ActivationNeedsAHostWidget) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    auto inPlace = ctrl.Query<component::InPlaceObject>(component::kIidInPlaceObject);
    ASSERT_TRUE(inPlace);
    EXPECT_EQ(inPlace->Activate(nullptr, kGeometry), component::kInvalidArgument);
    EXPECT_EQ(inPlace->Widget(), nullptr);
}

TEST(LumeqInPlaceTest, ReleasingAnActiveControlRemovesItsWindow) {
    QWidget host;
    QPointer<QWidget> window;
    {
        Ref<component::Dispatch> ctrl = CreateControl();
        ASSERT_TRUE(ctrl);
        auto inPlace = ctrl.Query<component::InPlaceObject>(component::kIidInPlaceObject);
        ASSERT_EQ(inPlace->Activate(&host, kGeometry), kOk);
        window = inPlace->Widget();
        ASSERT_FALSE(window.isNull());
    }
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(host.findChildren<QWidget*>().isEmpty());
}

TEST(LumeqViewTest, DrawRejectsImagesItCannotPaint) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    auto view = ctrl.Query<component::ViewObject>(component::kIidViewObject);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->Draw(nullptr, QRect(0, 0, 10, 10)), component::kNullPointer);
    QImage indexed(10, 10, QImage::Format_Indexed8);
    EXPECT_EQ(view->Draw(&indexed, QRect(0, 0, 10, 10)), component::kInvalidArgument);
    QImage null;
    EXPECT_EQ(view->Draw(&null, QRect(0, 0, 10, 10)), component::kInvalidArgument);
}

}  // namespace
}  // namespace lumeq_test
