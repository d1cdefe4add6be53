// The reading for everyone, with the real display control: the display's place in the tab order
// and its initial focus, Ctrl+C from any widget, the closed port's note, and the large readout.

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/CScalePanelDlg.h"
#include "app/readout/CLargeReadout.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/PortDirectory.h"

namespace apptest {
namespace {

using testing_support::PortDirectory;
using testing_support::PtyPeer;
using testing_support::PumpUntil;
using testing_support::ScaleFrame;

// 123.456 kg, stable.
constexpr std::array<std::uint8_t, 9> kStableWeight{0,    0x04, 0x01, 0x06, 0x5B,
                                                    0xCF, 0x66, 0x6D, 0x7D};
const QString kReading = "123.456 kg, stable";
const QString kClosedReading = "Last reading, port closed: 123.456 kg, stable";

QString ReadingOf(QWidget* display) {
    QAccessibleInterface* a = display ? QAccessible::queryAccessibleInterface(display) : nullptr;
    return a ? a->text(QAccessible::Value) : QString();
}

class ReadingAccessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
        ports.Map(1, scale.DevicePath());
        PanelServices services;
        services.ports = ports.Ports();
        services.presenter = [](QWidget*, const MessageBoxRequest& r) {
            ADD_FAILURE() << r.text.toStdString();
        };
        panel = std::make_unique<CScalePanelDlg>(services);
        ASSERT_EQ(panel->CreateDisplayControl(), component::kOk);
        panel->OnInitDialog();
        ASSERT_EQ(panel->Port(), 1);
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
        // A scale repeats its frame.
        QObject::connect(&repeat, &QTimer::timeout,
                         [this] { scale.Send(ScaleFrame(kStableWeight)); });
        repeat.start(50);
        ASSERT_TRUE(PumpUntil([&] { return ReadingOf(Display()) == kReading; }));
    }
    void TearDown() override {
        repeat.stop();
        panel.reset();
        qunsetenv("KARVEL_COMPONENT_MANIFEST");
    }
    QWidget* Display() { return panel->DisplayControl().Widget(); }
    QWindow* Window() { return panel->windowHandle(); }
    static QString Clipboard() { return QGuiApplication::clipboard()->text(); }
    void CopyFrom(QWidget* focus) {
        QGuiApplication::clipboard()->clear();
        focus->setFocus();
        QTest::keyClick(Window(), Qt::Key_C, Qt::ControlModifier);
    }

    PortDirectory ports;
    PtyPeer scale{PtyPeer::Role::Scale};
    std::unique_ptr<CScalePanelDlg> panel;
    QTimer repeat;
};

TEST_F(ReadingAccessTest, TheDisplayIsTheFirstTabStopAndHasTheFocusAtStartUp) {
    EXPECT_EQ(QApplication::focusWidget(), Display());
    QWidget* const order[] = {panel->KeyButton(1001),
                              panel->KeyButton(1002),
                              panel->KeyButton(1003),
                              panel->KeyButton(1004),
                              &panel->PortList(),
                              &panel->OpenCloseButton(),
                              Display()};
    for (QWidget* next : order) {
        QTest::keyClick(Window(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        // The port list's text field has the focus on its behalf.
        EXPECT_TRUE(focus == next || focus->focusProxy() == next || focus->parent() == next)
            << (focus ? focus->metaObject()->className() : "nothing");
    }
}

TEST_F(ReadingAccessTest, CtrlCCopiesTheReadingWhateverHasTheFocusAndSaysWhenThePortClosed) {
    // At start-up, before anything was clicked.
    QTest::keyClick(Window(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard(), kReading);
    QWidget* const focused[] = {&panel->PortList(), panel->KeyButton(1003),
                                &panel->OpenCloseButton()};
    for (QWidget* w : focused) {
        CopyFrom(w);
        EXPECT_EQ(Clipboard(), kReading) << w->metaObject()->className();
    }

    repeat.stop();
    panel->OpenCloseButton().click();  // CLOSE: the picture keeps the last frame
    EXPECT_EQ(ReadingOf(Display()), kClosedReading);
    CopyFrom(Display());
    EXPECT_EQ(Clipboard(), kClosedReading);
    panel->OpenCloseButton().click();  // OPEN: live again
    EXPECT_EQ(ReadingOf(Display()), kReading);
}

TEST_F(ReadingAccessTest, TheLargeReadoutFollowsThePanelAndSaysWhenItsPortIsClosed) {
    QTest::keyClick(Window(), Qt::Key_F11);
    CLargeReadout* readout = panel->ReadingAccess().LargeReadout();
    ASSERT_NE(readout, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(readout));
    QWidget* big = readout->DisplayControl().Widget();
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(ReadingOf(big), kReading) << "shows the last reading from the start";
    EXPECT_FALSE(readout->Banner().isVisible());

    repeat.stop();
    panel->OpenCloseButton().click();
    EXPECT_TRUE(readout->Banner().isVisible());
    EXPECT_TRUE(readout->Banner().text().contains("COM1 closed"));
    EXPECT_EQ(ReadingOf(big), kClosedReading);

    // Fitted below the banner: the picture keeps its proportions at any size.
    readout->resize(1000, 300);
    ASSERT_TRUE(PumpUntil([&] { return readout->size() == QSize(1000, 300); }));
    EXPECT_EQ(big->geometry().top(), readout->Banner().geometry().bottom() + 1);
    const QImage shot = big->grab().toImage();
    EXPECT_EQ(shot.pixelColor(2, 150), QColor(0, 255, 0)) << "the margin takes the background";

    QTest::keyClick(readout, Qt::Key_Escape);
    EXPECT_FALSE(readout->isVisible());
}

}  // namespace
}  // namespace apptest
