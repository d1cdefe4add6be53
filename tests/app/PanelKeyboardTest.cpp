// The panel driven as the window system delivers keys and clicks: to the focused widget.

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include "PortsFixture.h"

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

}  // namespace
}  // namespace apptest
