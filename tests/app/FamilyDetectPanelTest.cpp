// The panel while it looks for a family's scale on every port: its window takes Esc, and the
// looking ends with it, every port let go.

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "app/CScalePanelDlg.h"
#include "platform/serial/SerialPort.h"
#include "tools/peers/FamilyPeer.h"
#include "tools/peers/PortDirectory.h"

namespace apptest {
namespace {

using testing_support::FamilyPeer;

TEST(FamilyDetectPanel, EscWhileEightSilentPortsAreLookedAtEndsThePanelAndLetsThemGo) {
    qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    testing_support::PortDirectory ports;
    std::vector<std::unique_ptr<FamilyPeer>> silent;
    for (unsigned port = 1; port <= 8; ++port) {
        silent.push_back(std::make_unique<FamilyPeer>(FamilyPeer::Talk{}));
        ports.Map(port, silent.back()->DevicePath());
    }
    QString statusAtEsc;
    {
        PanelServices services;
        services.ports = ports.Ports();
        services.presenter = [](QWidget*, const MessageBoxRequest& r) {
            ADD_FAILURE() << r.text.toStdString();
        };
        CScalePanelDlg panel(services);
        panel.SetFamily(scale_link::FamilyLink::Choice{});
        // Esc once every port has been probed: the window takes it while the looking goes on.
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &panel, [&] {
            if (!std::all_of(silent.begin(), silent.end(),
                             [](const auto& peer) { return !peer->Received().empty(); }))
                return;
            watch.stop();
            statusAtEsc = panel.StatusLine().text();
            QTest::keyClick(&panel, Qt::Key_Escape);
        });
        watch.start(10);
        panel.DoModal();
    }
    EXPECT_EQ(statusAtEsc.toStdString(), "STATUS:Looking for a scale...");
    for (const auto& peer : silent) {
        serial_port::PortError error;
        EXPECT_TRUE(serial_port::SerialPort::Open(peer->DevicePath(), &error).has_value())
            << peer->DevicePath() << ": " << error.Describe();
    }
}

}  // namespace
}  // namespace apptest
