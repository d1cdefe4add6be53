// The panel driven as the window system delivers keys and clicks: to the focused widget.

#include <QAbstractItemView>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include "tests/app/PortsFixture.h"

namespace apptest {
namespace {

using Bytes = std::vector<std::uint8_t>;

class KeyboardTest : public PortsFixture {
  protected:
    void SetUp() override {
        Add(3, Role::Scale);
        h.Start();
        ASSERT_EQ(h.panel->Port(), 3);
        Show();
        Peer(3).ClearReceived();
    }
    void Show() {
        h.panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(h.panel.get()));
    }
    QWindow* Window() { return h.panel->windowHandle(); }
    void Press(Qt::Key key) { QTest::keyClick(Window(), key); }
    void Type(const char* text) {
        for (const char* c = text; *c; ++c)
            QTest::keyClick(Window(), *c);
    }
    static QWidget* Focus() { return QApplication::focusWidget(); }
    CKeyButton* Key(int id) { return h.panel->KeyButton(id); }
};

TEST_F(KeyboardTest, AClickedKeyKeepsTheFocusSpaceSendsItsByteAndEnterEndsThePanel) {
    h.panel->OpenCloseButton().setFocus();
    QTest::mouseClick(Window(), Qt::LeftButton, {}, Key(1001)->geometry().center());
    EXPECT_EQ(Focus(), Key(1001));
    ASSERT_TRUE(Peer(3).WaitForBytes(1));
    EXPECT_EQ(Peer(3).Received(), Bytes{'D'});
    Peer(3).ClearReceived();

    Press(Qt::Key_Tab);
    Press(Qt::Key_Tab);
    ASSERT_EQ(Focus(), Key(1003));
    QSignalSpy tare(Key(1003), &CKeyButton::clicked);
    Press(Qt::Key_Space);
    ASSERT_TRUE(Peer(3).WaitForBytes(1));
    EXPECT_EQ(Peer(3).Received(), Bytes{0x54});
    EXPECT_EQ(tare.count(), 1);

    Press(Qt::Key_Return);
    EXPECT_FALSE(h.panel->isVisible());
    EXPECT_EQ(h.panel->result(), QDialog::Accepted);
    EXPECT_EQ(tare.count(), 1) << "Enter clicked the key";
}

TEST_F(KeyboardTest, SpaceSendsAFocusedKeysClickByteAndShiftSpaceItsDoubleClickByte) {
    const struct {
        int id;
        std::uint8_t letter;
    } keys[] = {{1001, 'D'}, {1002, 'M'}, {1003, 'T'}, {1004, 'O'}};
    for (const auto& key : keys) {
        Key(key.id)->setFocus();
        Press(Qt::Key_Space);
        ASSERT_TRUE(Peer(3).WaitForBytes(1));
        QTest::keyClick(Window(), Qt::Key_Space, Qt::ShiftModifier);
        ASSERT_TRUE(Peer(3).WaitForBytes(2));
        EXPECT_EQ(Peer(3).Received(), (Bytes{key.letter, std::uint8_t(key.letter | 0x80)}));
        Peer(3).ClearReceived();
    }
}

TEST_F(KeyboardTest, EnterEndsThePanelUnlessOpenCloseHasTheFocusThenItClicksIt) {
    std::vector<std::unique_ptr<QSignalSpy>> keyClicks;
    for (int id = 1001; id <= 1004; ++id)
        keyClicks.push_back(std::make_unique<QSignalSpy>(Key(id), &CKeyButton::clicked));
    QWidget* const focused[] = {Key(1001), Key(1002), Key(1003), Key(1004), &h.panel->PortList(),
                                nullptr};
    for (QWidget* w : focused) {
        SCOPED_TRACE(w ? w->metaObject()->className() : "nothing focused");
        Show();
        if (w)
            w->setFocus();
        else if (Focus())
            Focus()->clearFocus();
        h.panel->setResult(-1);
        Press(Qt::Key_Enter);
        EXPECT_FALSE(h.panel->isVisible());
        EXPECT_EQ(h.panel->result(), QDialog::Accepted);
    }
    for (const auto& spy : keyClicks)
        EXPECT_EQ(spy->count(), 0);
    EXPECT_EQ(h.Status(), "STATUS:COM3  OPENED,9600,N,8,1");

    Show();
    h.panel->OpenCloseButton().setFocus();
    Press(Qt::Key_Return);
    EXPECT_TRUE(h.panel->isVisible());
    EXPECT_EQ(h.panel->OpenCloseButton().text(), "OPEN");
    EXPECT_EQ(h.Status(), "STATUS:COM Port Closed");
}

TEST_F(KeyboardTest, TypedTextInThePortListChoosesNothingAnArrowOrAPickDoes) {
    Add(4, Role::Silent);
    QComboBox& list = h.panel->PortList();
    // Typing, then Tab: neither the port nor the status changes, and no item is selected.
    Key(1004)->setFocus();
    Press(Qt::Key_Tab);
    ASSERT_EQ(Focus(), &list);
    Type("COM4");
    Press(Qt::Key_Tab);
    EXPECT_NE(Focus(), &list);
    EXPECT_EQ(list.currentText(), "COM4");
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_EQ(h.panel->Port(), 3);
    EXPECT_EQ(h.Status(), "STATUS:COM3  OPENED,9600,N,8,1");
    EXPECT_TRUE(Held(3));
    EXPECT_FALSE(Held(4));

    // Typing, then Enter: the panel ends as Enter does, and still nothing was chosen.
    list.setCurrentIndex(2);
    Key(1004)->setFocus();
    Press(Qt::Key_Tab);
    Type("COM4");
    Press(Qt::Key_Return);
    EXPECT_FALSE(h.panel->isVisible());
    EXPECT_EQ(h.panel->result(), QDialog::Accepted);
    EXPECT_EQ(h.panel->Port(), 3);
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_FALSE(Held(4));

    // An arrow key on the closed field moves to the next item, which is a choice.
    Show();
    list.setCurrentIndex(2);
    list.setFocus();
    Press(Qt::Key_Down);
    EXPECT_EQ(h.panel->Port(), 4);
    EXPECT_EQ(h.Status(), "STATUS:COM4 OPENED,9600,N,8,1");
    EXPECT_TRUE(Held(4));

    // A pick in the dropped-down list by keyboard.
    list.showPopup();
    QWidget* popup = list.view();
    ASSERT_TRUE(PumpUntil([&] { return popup->isVisible() && popup->hasFocus(); }));
    QTest::keyClick(popup, Qt::Key_Up);
    QTest::keyClick(popup, Qt::Key_Return);
    EXPECT_EQ(h.panel->Port(), 3);
    EXPECT_EQ(h.Status(), "STATUS:COM3 OPENED,9600,N,8,1");
    EXPECT_TRUE(Held(3));
    EXPECT_TRUE(h.boxes.empty());
}

}  // namespace
}  // namespace apptest
