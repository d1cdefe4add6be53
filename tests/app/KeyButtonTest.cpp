#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include "app/CKeyButton.h"
#include "app/Resources.h"

namespace {

QPixmap Solid(QColor colour) {
    QPixmap p(65, 65);
    p.fill(colour);
    return p;
}

class KeyButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        button.LoadBitmaps(Solid(Qt::yellow), Solid(Qt::blue));
        button.SizeToContent();
        button.move(10, 10);
        button.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    }

    // The order in which the button reported clicks (c) and double-clicks (d).
    QString Notifications() const { return m_seen; }

    QWindow* Window() { return button.windowHandle(); }
    QPoint Centre() const { return button.rect().center(); }

    CKeyButton button;

  private:
    QString m_seen;
    QMetaObject::Connection m_c =
        QObject::connect(&button, &CKeyButton::clicked, [this] { m_seen += 'c'; });
    QMetaObject::Connection m_d =
        QObject::connect(&button, &CKeyButton::doubleClicked, [this] { m_seen += 'd'; });
};

TEST_F(KeyButtonTest, ADoubleClickIsAClickThenADoubleClick) {
    QTest::mouseClick(Window(), Qt::LeftButton, {}, Centre());
    EXPECT_EQ(Notifications(), "c");
    // Through the window system path, as a real double-click arrives: press, release, press,
    // double-click, release.
    QTest::mouseDClick(Window(), Qt::LeftButton, {}, Centre(), 1000);
    EXPECT_EQ(Notifications(), "ccd");
    EXPECT_FALSE(button.isDown());
    // The next ordinary click still counts.
    QTest::mouseClick(Window(), Qt::LeftButton, {}, Centre(), 1000);
    EXPECT_EQ(Notifications(), "ccdc");
    // Other buttons are no clicks at all.
    QTest::mouseDClick(Window(), Qt::RightButton, {}, Centre(), 1000);
    EXPECT_EQ(Notifications(), "ccdc");
}

TEST_F(KeyButtonTest, ShowsThePressedFaceWhileHeldDown) {
    auto centreColour = [&] { return button.grab().toImage().pixelColor(30, 30); };
    EXPECT_EQ(centreColour(), QColor(Qt::yellow));
    QTest::mousePress(Window(), Qt::LeftButton, {}, Centre());
    EXPECT_EQ(centreColour(), QColor(Qt::blue));
    QTest::mouseRelease(Window(), Qt::LeftButton, {}, Centre());
    EXPECT_EQ(centreColour(), QColor(Qt::yellow));
}

TEST(KeyFaces, EveryFaceIs65By65AndPressedHasTheDarkerSurround) {
    for (int id = resources::kBitmapFirstKeyFace; id < resources::kBitmapFirstKeyFace + 8; ++id) {
        const QImage face = resources::LoadBitmap(id).toImage();
        SCOPED_TRACE(id);
        ASSERT_EQ(face.size(), QSize(65, 65));
        const bool pressed = (id - resources::kBitmapFirstKeyFace) % 2 == 1;
        if (pressed)
            EXPECT_EQ(face.pixelColor(2, 30), QColor(128, 128, 128));
        else
            EXPECT_NE(face.pixelColor(2, 30), QColor(128, 128, 128));
    }
}

TEST_F(KeyButtonTest, FocusFrameShowsOnlyWithTheKeyboardFocus) {
    const QImage face = Solid(Qt::yellow).toImage();
    button.clearFocus();
    EXPECT_EQ(button.grab().toImage().convertToFormat(face.format()), face);
    button.activateWindow();
    button.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button.hasFocus(); }));
    const QImage framed = button.grab().toImage().convertToFormat(face.format());
    EXPECT_NE(framed, face);
    // The frame lies inside the face's border; the border and the centre keep the face.
    EXPECT_EQ(framed.pixelColor(1, 1), QColor(Qt::yellow));
    EXPECT_EQ(framed.pixelColor(32, 32), QColor(Qt::yellow));
}

}  // namespace
