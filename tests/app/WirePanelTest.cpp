// The panel on a network wire: the simulator served on a loopback TCP port, read as Karvel
// --port tcp://... reads it; the wire lost and back; a wire written wrong refused at start.

#include <QAccessible>
#include <QComboBox>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CScalePanelDlg.h"
#include "app/CommandLine.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/PortDirectory.h"
#include "tools/peers/ReaderPeers.h"

namespace apptest {
namespace {

using readtest::Child;
using testing_support::PumpUntil;

constexpr auto kPatience = std::chrono::seconds(30);

QString ReadingOf(QWidget* display) {
    QAccessibleInterface* a = display ? QAccessible::queryAccessibleInterface(display) : nullptr;
    return a ? a->text(QAccessible::Value) : QString();
}

// The simulator's scale on `port` of loopback; null when it did not say it is ready.
std::unique_ptr<Child> ServeOn(int port) {
    auto simulator = std::make_unique<Child>(
        std::vector<std::string>{KARVEL_SCALESIM, "--listen", "tcp:" + std::to_string(port)});
    const auto named = simulator->ReadLine();
    if (!named || named->find("tcp://127.0.0.1:") == std::string::npos ||
        simulator->ReadLine() != "ready")
        return nullptr;
    return simulator;
}

// The panel as `Karvel ARGS` makes it, on a port folder that holds no local port.
struct WirePanel {
    explicit WirePanel(const QStringList& args) {
        const CommandLine cmd = ParseCommandLine(QStringList{QStringLiteral("Karvel")} + args);
        EXPECT_TRUE(cmd.error.isEmpty()) << cmd.error.toStdString();
        PanelServices services;
        services.ports = ports.Ports();
        services.presenter = [](QWidget*, const MessageBoxRequest& r) {
            ADD_FAILURE() << r.text.toStdString();
        };
        panel = std::make_unique<CScalePanelDlg>(services);
        panel->SetStartPort(cmd.port);
        if (auto family = PanelFamily(cmd))
            panel->SetFamily(std::move(*family));
    }
    bool StatusBecomes(const QString& text) {
        return PumpUntil([&] { return panel->StatusLine().text() == text; }, kPatience);
    }
    QString Hover() const { return panel->StatusLine().WholeText(); }

    testing_support::PortDirectory ports;
    std::unique_ptr<CScalePanelDlg> panel;
};

TEST(WirePanel, ReadsTheScaleOverTcpAndFollowsTheWireWhenItDropsAndComesBack) {
    qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    const int port = readtest::FreePort();
    const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
    auto simulator = ServeOn(port);
    ASSERT_TRUE(simulator);
    {
        WirePanel wire({QStringLiteral("--port"), url});
        ASSERT_EQ(wire.panel->CreateDisplayControl(), component::kOk);
        wire.panel->OnInitDialog();
        const QString opened = QStringLiteral("STATUS:%1  OPENED,karvel,9600 8N1").arg(url);
        EXPECT_EQ(wire.panel->StatusLine().text(), opened);
        EXPECT_TRUE(wire.Hover().contains(url + QStringLiteral(" is a network wire")))
            << wire.Hover().toStdString();
        QComboBox& list = wire.panel->PortList();
        EXPECT_EQ(list.currentText(), url);
        EXPECT_EQ(list.itemData(list.currentIndex(), Qt::ToolTipRole).toString(),
                  url + QStringLiteral(" (a network wire, named on the command line)"));
        QWidget* display = wire.panel->DisplayControl().Widget();
        EXPECT_TRUE(PumpUntil([&] { return !ReadingOf(display).isEmpty(); }, kPatience));

        simulator.reset();  // killed: the connection is reset
        ASSERT_TRUE(wire.StatusBecomes(QStringLiteral("STATUS:COM Port Closed")));
        EXPECT_TRUE(wire.Hover().contains(QStringLiteral("is a network wire")))
            << wire.Hover().toStdString();
        simulator = ServeOn(port);
        ASSERT_TRUE(simulator);
        EXPECT_TRUE(wire.StatusBecomes(opened)) << wire.Hover().toStdString();
    }
    qunsetenv("KARVEL_COMPONENT_MANIFEST");
}

// Refused before any window, in karvel-read's words.
TEST(WirePanel, AWireWrittenWrongIsAUsageError) {
    const struct {
        const char* port;
        const char* says;
    } cases[] = {
        {"tcp://127.0.0.1",
         "'tcp://127.0.0.1': no port; give tcp://HOST:PORT or rfc2217://HOST:PORT"},
        {"ftp://scale:21",
         "'ftp://scale:21': unknown scheme 'ftp'; give tcp://HOST:PORT or "
         "rfc2217://HOST:PORT"},
        {"rfc2217://scale:70000",
         "'rfc2217://scale:70000': the port must be a number from 1 to 65535, after the host "
         "and ':'"},
        {"tcp://::1:4001", "'tcp://::1:4001': an IPv6 address goes in brackets: [ADDRESS]:PORT"},
    };
    for (const auto& c : cases) {
        Child karvel({KARVEL_BINARY, "--port", c.port});
        EXPECT_EQ(karvel.Wait(), 2) << c.port;
        EXPECT_EQ(karvel.Errors(),
                  std::string("Karvel: --port ") + c.says + "\nTry 'Karvel --help'.\n");
    }
}

}  // namespace
}  // namespace apptest
