// What the status line cannot show in its fixed width is a hover away, and so is why it says
// what it says: the whole text, its note and the other sources' lines, as its tooltip and as
// the description a screen reader reads.

#include <QAccessible>

#include <gtest/gtest.h>

#include "app/TroubleTip.h"
#include "tests/app/PortsFixture.h"

namespace apptest {
namespace {

QString Described(QWidget& widget) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&widget);
    return a ? a->text(QAccessible::Description) : QString();
}

class StatusLineTest : public PortsFixture {};

TEST_F(StatusLineTest, ALongTextIsCutInTheFixedWindowAndWholeInTheDescription) {
    Add(3, Role::Scale);
    h.Start();
    CStatusLine& status = h.panel->StatusLine();
    const QSize panelSize = h.panel->size();
    const QRect lineRect = status.geometry();
    SetTroubleLine(status, "log", "cannot write the log: No space left on device");
    const struct {
        QString text;
        bool cut;
    } cases[] = {
        {"STATUS:COM3  OPENED,9600,N,8,1", false},
        {"STATUS:COM3  OPENED,9600,N,8,1   Sample refused: the weight is not settled; take it "
         "again once the scale shows it stable",
         true},
    };
    for (const auto& c : cases) {
        status.setText(c.text);  // as the bench appends its word
        status.show();
        EXPECT_EQ(status.Elided(), c.cut) << c.text.toStdString();
        EXPECT_EQ(Described(status), c.text + "\ncannot write the log: No space left on device");
        EXPECT_EQ(QAccessible::queryAccessibleInterface(&status)->text(QAccessible::Name), c.text);
        EXPECT_EQ(h.panel->size(), panelSize);
        EXPECT_EQ(status.geometry(), lineRect);
    }
}

TEST_F(StatusLineTest, NothingFoundSaysHowOtherFamiliesAreFound) {
    Add(1, Role::Silent);
    h.Start();
    ASSERT_EQ(h.Status(), "STATUS:Not found serial port or serial occupied");
    const QString described = Described(h.panel->StatusLine());
    EXPECT_TRUE(described.contains("Scale family")) << described.toStdString();
    EXPECT_TRUE(described.contains("Karvel --protocol auto")) << described.toStdString();
}

TEST_F(StatusLineTest, APortClosedByALossSaysWhyUntilTheStatusChanges) {
    Add(3, Role::Scale);
    h.Start();
    ASSERT_EQ(h.panel->Port(), 3);
    EXPECT_EQ(Described(h.panel->StatusLine()), h.Status()) << "no note while all is well";
    Peer(3).HangUp();
    ASSERT_TRUE(PumpUntil([&] { return !h.panel->SerialPort().IsPortHeld(); }));
    ASSERT_EQ(h.Status(), "STATUS:COM Port Closed");
    const QString why = Described(h.panel->StatusLine());
    EXPECT_TRUE(why.startsWith("STATUS:COM Port Closed\nCOM3 ") && why.contains("went away"))
        << why.toStdString();

    // OPEN fails now: the loss is old news.
    h.panel->OpenCloseButton().click();
    EXPECT_EQ(Described(h.panel->StatusLine()), "Not found serial port or serial occupied");
}

}  // namespace
}  // namespace apptest
