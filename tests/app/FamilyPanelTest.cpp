// The panel in front of a balance of another family, with the real display control: the reading
// on the cells and the unit beside them, what the observers are told, and the family's keys.

#include <QAccessible>

#include <gtest/gtest.h>

#include <optional>

#include "app/CScalePanelDlg.h"
#include "app/DialogTemplates.h"
#include "tests/support/FamilyPeer.h"
#include "tests/support/PortDirectory.h"
#include "tests/support/PumpUntil.h"

namespace apptest {
namespace {

using testing_support::FamilyPeer;
using testing_support::PumpUntil;

QString ReadingOf(QWidget* display) {
    QAccessibleInterface* a = display ? QAccessible::queryAccessibleInterface(display) : nullptr;
    return a ? a->text(QAccessible::Value) : QString();
}

struct LastFrame : scale::FrameObserver {
    void OnFrame(const scale::Frame& frame) override { last = frame; }
    void OnPortState(const scale::PortState&) override {}
    std::optional<scale::Frame> last;
};

TEST(FamilyPanel, ShowsASicsBalanceAndSendsOnlyTheKeysItHas) {
    qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    FamilyPeer balance({9600, {"S S     12.345 g\r\n"}, std::chrono::milliseconds(50), {}});
    testing_support::PortDirectory ports;
    ports.Map(1, balance.DevicePath());
    PanelServices services;
    services.ports = ports.Ports();
    services.presenter = [](QWidget*, const MessageBoxRequest& r) {
        ADD_FAILURE() << r.text.toStdString();
    };
    LastFrame observer;
    {
        CScalePanelDlg panel(services);
        panel.AttachObserver(&observer);
        scale_link::FamilyLink::Choice sics;
        sics.family = scale::families::Find("sics");
        panel.SetFamily(sics);
        ASSERT_EQ(panel.CreateDisplayControl(), component::kOk);
        panel.OnInitDialog();
        ASSERT_EQ(panel.Port(), 1);
        EXPECT_EQ(panel.StatusLine().text(), "STATUS:COM1  OPENED,sics,9600 8N1");

        QWidget* display = panel.DisplayControl().Widget();
        ASSERT_TRUE(PumpUntil([&] { return ReadingOf(display) == "12.345 g, stable"; },
                              std::chrono::seconds(30)))
            << ReadingOf(display).toStdString();
        EXPECT_EQ(panel.OtherUnit().text(), "g");
        EXPECT_FALSE(panel.OtherUnit().isHidden());
        ASSERT_TRUE(PumpUntil([&] { return observer.last.has_value(); }));
        ASSERT_TRUE(observer.last->familyReading);
        EXPECT_EQ(observer.last->familyReading->unit, "g");
        EXPECT_EQ(observer.last->protocol, "sics");

        const struct {
            int id;
            const char* sends;  // none: the key is disabled and says why
            const char* tip;
        } keys[] = {{kIdKeyData, "S\r\n", "Sends sics's DATA command: S"},
                    {kIdKeyMode, nullptr, "A sics scale has no MODE key"},
                    {kIdKeyTare, "T\r\n", "Sends sics's TARE command: T"},
                    {kIdKeyOnOff, nullptr, "A sics scale has no ON/OFF key"}};
        for (const auto& key : keys) {
            CKeyButton& button = *panel.KeyButton(key.id);
            EXPECT_EQ(button.toolTip(), key.tip);
            EXPECT_EQ(button.isEnabled(), key.sends != nullptr) << key.tip;
            if (key.sends) {
                button.click();
                EXPECT_TRUE(balance.WaitForReceived(key.sends)) << key.tip;
            }
        }
    }
    // What the keys sent and nothing more: detection sent no key, the disabled ones none.
    EXPECT_EQ(balance.Received(), "S\r\nT\r\n");
    qunsetenv("KARVEL_COMPONENT_MANIFEST");
}

}  // namespace
}  // namespace apptest
