// The panel on a wire: the simulator served on a loopback TCP port, read as Karvel --port tcp://...
// reads it, and as a Modbus transmitter; a USB HID scale on a pseudo-terminal, typed in the Port
// dialog; each wire lost and back; a wire written wrong refused at start and in the dialog.

#include <QAccessible>
#include <QComboBox>
#include <QStringList>

#include <csignal>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CPortDialog.h"
#include "app/CScalePanelDlg.h"
#include "app/CommandLine.h"
#include "app/DialogTemplates.h"
#include "tests/link/FakeHid.h"
#include "tests/link/ScaleDescriptor.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/PortDirectory.h"
#include "tools/peers/ReaderPeers.h"
#include "tools/scalesim/ModbusTransmitter.h"

namespace apptest {
namespace {

using readtest::Child;
using testing_support::PumpUntil;

constexpr auto kPatience = std::chrono::seconds(30);

QString ReadingOf(QWidget* display) {
    QAccessibleInterface* a = display ? QAccessible::queryAccessibleInterface(display) : nullptr;
    return a ? a->text(QAccessible::Value) : QString();
}

// The simulator started with `args`; null when it did not name `served` and say it is ready.
std::unique_ptr<Child> Serve(std::vector<std::string> args, const std::string& served) {
    auto simulator = std::make_unique<Child>(std::move(args));
    const auto named = simulator->ReadLine();
    if (!named || named->find(served) == std::string::npos || simulator->ReadLine() != "ready")
        return nullptr;
    return simulator;
}

// The simulator's scale on `port` of loopback; null when it did not say it is ready.
std::unique_ptr<Child> ServeOn(int port) {
    return Serve({KARVEL_SCALESIM, "--listen", "tcp:" + std::to_string(port)}, "tcp://127.0.0.1:");
}

// The simulator's transmitter on `port` of loopback, `grams` on its pan.
std::unique_ptr<Child> TransmitterOn(int port, int grams) {
    return Serve(
        {KARVEL_SCALESIM, "--modbus-tcp", std::to_string(port), "--load", std::to_string(grams)},
        "modbus-tcp://127.0.0.1:" + std::to_string(port));
}

// The panel as `Karvel ARGS` makes it, on a port folder that holds no local port; its HID
// devices under `hid`.
struct WirePanel {
    explicit WirePanel(const QStringList& args, hid::HidrawRoots hid = {}) {
        const CommandLine cmd = ParseCommandLine(QStringList{QStringLiteral("Karvel")} + args);
        EXPECT_TRUE(cmd.error.isEmpty()) << cmd.error.toStdString();
        PanelServices services;
        services.ports = ports.Ports();
        services.presenter = [](QWidget*, const MessageBoxRequest& r) {
            ADD_FAILURE() << r.text.toStdString();
        };
        services.hid = std::move(hid);
        panel = std::make_unique<CScalePanelDlg>(services);
        panel->SetStartPort(cmd.port);
        if (auto family = PanelFamily(cmd))
            panel->SetFamily(std::move(*family));
        if (auto wire = PanelOwnWire(cmd))
            panel->SetOwnWire(std::move(*wire));
    }
    bool StatusBecomes(const QString& text) {
        return PumpUntil([&] { return panel->StatusLine().text() == text; }, kPatience);
    }
    bool Shows(const QString& reading) {
        QWidget* display = panel->DisplayControl().Widget();
        return PumpUntil([&] { return ReadingOf(display) == reading; }, kPatience);
    }
    QString Shown() const { return ReadingOf(panel->DisplayControl().Widget()); }
    QString Hover() const { return panel->StatusLine().WholeText(); }
    // Each key's tooltip, and whether it may be pressed: TARE only when `tare` names it.
    void ExpectKeys(const QString& unavailable, const QString& tare, bool tares) {
        for (const int id : {kIdKeyData, kIdKeyMode, kIdKeyTare, kIdKeyOnOff}) {
            const CKeyButton& key = *panel->KeyButton(id);
            EXPECT_EQ(key.isEnabled(), tares && id == kIdKeyTare) << id;
            EXPECT_EQ(key.toolTip(), id == kIdKeyTare ? tare : unavailable) << id;
        }
    }

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

TEST(WirePanel, ShowsAModbusTransmitterTaresItAndFollowsItWhenItDropsAndComesBack) {
    qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    const int port = readtest::FreePort();
    const QString url = QStringLiteral("modbus-tcp://127.0.0.1:%1").arg(port);
    auto simulator = TransmitterOn(port, 1234);
    ASSERT_TRUE(simulator);
    {
        WirePanel wire({QStringLiteral("--port"), url, QStringLiteral("--modbus"),
                        QString::fromLatin1(scalesim::kTransmitterMap)});
        ASSERT_EQ(wire.panel->CreateDisplayControl(), component::kOk);
        wire.panel->OnInitDialog();
        const QString opened = QStringLiteral("STATUS:%1  OPENED,modbus").arg(url);
        ASSERT_TRUE(wire.StatusBecomes(opened)) << wire.Hover().toStdString();
        EXPECT_TRUE(wire.Hover().contains(url + QStringLiteral(" is a Modbus transmitter")))
            << wire.Hover().toStdString();
        QComboBox& list = wire.panel->PortList();
        EXPECT_EQ(list.currentText(), url);
        EXPECT_EQ(list.itemData(list.currentIndex(), Qt::ToolTipRole).toString(),
                  url + QStringLiteral(" (a Modbus transmitter, named on the command line)"));
        EXPECT_TRUE(wire.Shows(QStringLiteral("1.234 kg, stable"))) << wire.Shown().toStdString();
        wire.ExpectKeys(QStringLiteral("Not available on a Modbus transmitter: nothing is sent"),
                        QStringLiteral("Writes the transmitter's TARE register (the map's tare=)"),
                        true);
        EXPECT_TRUE(wire.panel->ZeroItem()->isVisible());

        wire.panel->KeyButton(kIdKeyTare)->click();
        EXPECT_TRUE(simulator->WaitForError("modbus: TARE")) << simulator->Errors();
        EXPECT_TRUE(wire.Shows(QStringLiteral("0 kg, stable"))) << wire.Shown().toStdString();

        simulator->Signal(SIGKILL);
        simulator->Wait();
        ASSERT_TRUE(wire.StatusBecomes(QStringLiteral("STATUS:COM Port Closed")));
        EXPECT_TRUE(wire.panel->IsShownClosed());
        simulator = TransmitterOn(port, 2000);
        ASSERT_TRUE(simulator);
        EXPECT_TRUE(wire.StatusBecomes(opened)) << wire.Hover().toStdString();
        EXPECT_TRUE(wire.Shows(QStringLiteral("2 kg, stable"))) << wire.Shown().toStdString();
    }
    qunsetenv("KARVEL_COMPONENT_MANIFEST");
}

TEST(WirePanel, ShowsAUsbHidScaleTypedInThePortDialogZeroesItAndFollowsIt) {
    qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    // [id 3, status, unit, scaling, weight low, weight high]: 4 stable, 3 in motion; 3 kg.
    const hidtest::Bytes stale = {3, 4, 3, 0xFD, 0xE8, 0x03};
    const hidtest::Bytes settled = {3, 4, 3, 0xFD, 0xC4, 0x09};
    const hidtest::Bytes moving = {3, 3, 3, 0xFD, 0x28, 0x0A};
    hidtest::FakeHid scale(hidtest::ScaleDescriptor(0x91));  // zero in an output report
    {
        // Plain at first: the scale is typed in the context menu's Port dialog.
        WirePanel wire({}, {scale.Sys(), scale.Dev()});
        ASSERT_EQ(wire.panel->CreateDisplayControl(), component::kOk);
        wire.panel->OnInitDialog();
        CPortDialog dialog(wire.panel.get(), {});
        dialog.Port().setText(QStringLiteral("hid"));
        dialog.accept();
        ASSERT_TRUE(dialog.Chosen()) << dialog.Refusal().text().toStdString();
        wire.panel->OpenTypedPort(*dialog.Chosen());
        const QString opened = QStringLiteral("STATUS:hid  OPENED,hid");
        ASSERT_TRUE(wire.StatusBecomes(opened)) << wire.Hover().toStdString();
        EXPECT_EQ(wire.panel->PortList().currentText(), "hid");
        for (const hidtest::Bytes& report : {stale, settled})
            scale.Send(report);
        EXPECT_TRUE(wire.Shows(QStringLiteral("2.500 kg, stable"))) << wire.Shown().toStdString();
        const QString unavailable =
            QStringLiteral("Not available on a USB HID scale: nothing is sent");
        wire.ExpectKeys(unavailable, unavailable, false);
        ASSERT_TRUE(wire.panel->ZeroItem()->isVisible());
        wire.panel->ZeroItem()->trigger();
        EXPECT_EQ(scale.Received(2), (hidtest::Bytes{2, 0x01}));

        scale.Unplug();
        ASSERT_TRUE(wire.StatusBecomes(QStringLiteral("STATUS:COM Port Closed")));
        scale.Plug();
        ASSERT_TRUE(wire.StatusBecomes(opened)) << wire.Hover().toStdString();
        // Kept by the device across the gap: not a reading.
        for (const hidtest::Bytes& report : {settled, moving})
            scale.Send(report);
        EXPECT_TRUE(wire.Shows(QStringLiteral("2.600 kg"))) << wire.Shown().toStdString();
    }
    qunsetenv("KARVEL_COMPONENT_MANIFEST");
}

// A map that names no tare or zero register: TARE is greyed and says why, Zero is not offered.
TEST(WirePanel, AModbusMapWithoutTareOrZeroOffersNeither) {
    qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    const int port = readtest::FreePort();
    const QString url = QStringLiteral("modbus-tcp://127.0.0.1:%1").arg(port);
    auto simulator = TransmitterOn(port, 500);
    ASSERT_TRUE(simulator);
    {
        WirePanel wire({QStringLiteral("--port"), url, QStringLiteral("--modbus"),
                        QStringLiteral("weight=0x1000,type=float32,order=cdab,unit=kg")});
        ASSERT_EQ(wire.panel->CreateDisplayControl(), component::kOk);
        wire.panel->OnInitDialog();
        ASSERT_TRUE(wire.StatusBecomes(QStringLiteral("STATUS:%1  OPENED,modbus").arg(url)));
        // Without a motion bit no reading is stable.
        EXPECT_TRUE(wire.Shows(QStringLiteral("0.5 kg"))) << wire.Shown().toStdString();
        wire.ExpectKeys(QStringLiteral("Not available on a Modbus transmitter: nothing is sent"),
                        QStringLiteral("The --modbus map has no tare=: nothing is sent"), false);
        EXPECT_FALSE(wire.panel->ZeroItem()->isVisible());
    }
    qunsetenv("KARVEL_COMPONENT_MANIFEST");
}

// In karvel-read's words, before any window.
TEST(WirePanel, AModbusOrHidPortWithWhatDoesNotGoWithItIsAUsageError) {
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--port", "modbus-tcp://127.0.0.1"},
         "--port modbus-tcp://127.0.0.1 is a Modbus transmitter: say where its weight is"},
        {{"--modbus", "weight=0"}, "--modbus goes with --port modbus-tcp://HOST[:PORT]"},
        {{"--port", "modbus-tcp://127.0.0.1", "--modbus", "weight=0x10000"},
         "an address over 65535"},
        {{"--port", "modbus-tcp://127.0.0.1", "--modbus", "weight=0", "--line", "9600"},
         "goes with modbus-rtu:, not modbus-tcp://"},
        {{"--port", "hid", "--protocol", "sics"}, "no --protocol or --pattern"},
        {{"--port", "/dev/hidraw0", "--line", "9600"}, "does not go with a USB HID scale"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {KARVEL_BINARY};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Child karvel(argv);
        EXPECT_EQ(karvel.Wait(), 2) << c.says;
        EXPECT_NE(karvel.Errors().find(c.says), std::string::npos) << karvel.Errors();
        EXPECT_TRUE(karvel.Errors().starts_with("Karvel: ")) << karvel.Errors();
    }
}

// A network wire typed in the Port dialog is read as --port reads it: the panel's own scale.
TEST(WirePanel, ANetworkWireTypedInThePortDialogIsReadAsTheCommandLineReadsIt) {
    qputenv("KARVEL_COMPONENT_MANIFEST", KARVEL_MANIFEST);
    const int port = readtest::FreePort();
    const std::string url = "tcp://127.0.0.1:" + std::to_string(port);
    auto simulator = ServeOn(port);
    ASSERT_TRUE(simulator);
    {
        WirePanel wire({});
        ASSERT_EQ(wire.panel->CreateDisplayControl(), component::kOk);
        wire.panel->OnInitDialog();
        const auto typed = scale_link::ReadPortChoice(url, "", {});
        ASSERT_TRUE(typed) << typed.Error().text;
        wire.panel->OpenTypedPort(*typed);
        EXPECT_TRUE(wire.StatusBecomes(
            QStringLiteral("STATUS:%1  OPENED,karvel,9600 8N1").arg(QString::fromStdString(url))))
            << wire.Hover().toStdString();
        EXPECT_EQ(wire.panel->windowTitle(), QStringLiteral("Karvel - %1").arg(url.c_str()));
        EXPECT_TRUE(PumpUntil([&] { return !wire.Shown().isEmpty(); }, kPatience));
    }
    qunsetenv("KARVEL_COMPONENT_MANIFEST");
}

// As karvel-read lists them.
TEST(WirePanel, ListPortsNamesTheUsbHidScales) {
    hidtest::FakeHid scale(hidtest::ScaleDescriptor());
    Child karvel({"/usr/bin/env", "KARVEL_HID_SYS=" + scale.Sys(), "KARVEL_HID_DEV=" + scale.Dev(),
                  KARVEL_BINARY, "--list-ports"});
    std::string listed;
    while (const auto line = karvel.ReadLine())
        listed += *line + "\n";
    EXPECT_EQ(karvel.Wait(), 0) << karvel.Errors();
    EXPECT_NE(listed.find(scale.Node() + ": USB HID scale (Bench Scale)\n"), std::string::npos)
        << listed;
}

// The Port dialog refuses in the command line's words and stays; what it takes, it hands on.
TEST(PortDialog, RefusesAPortWrittenWrongAndTakesOneWrittenRight) {
    const struct {
        const char* port;
        const char* modbus;
        const char* says;  // empty: taken
        const char* taken;
    } cases[] = {
        {"tcp://127.0.0.1", "",
         "--port 'tcp://127.0.0.1': no port; give tcp://HOST:PORT or rfc2217://HOST:PORT", ""},
        {"COM99", "", "--port 'COM99': not a port; give COM1 to COM32", ""},
        {"modbus-tcp://scale", "",
         "--port modbus-tcp://scale is a Modbus transmitter: say where its weight is", ""},
        {"modbus-tcp://scale", "weight=0,motion=1.16", "--modbus: motion=1.16: a bit over 15", ""},
        {"COM3", "weight=0", "--modbus goes with --port modbus-tcp://", ""},
        {"com3", "", "", "COM3"},
        {"rfc2217://scale:4001", "", "", "rfc2217://scale:4001"},
        {"modbus-tcp://scale", "weight=0x1000,tare=0x1030:2", "", "modbus-tcp://scale"},
        {"/dev/hidraw3", "", "", "/dev/hidraw3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        CPortDialog dialog(nullptr, QString::fromLatin1(c.port));
        dialog.Modbus().setText(QString::fromLatin1(c.modbus));
        dialog.show();
        dialog.accept();
        const std::string says = c.says;
        EXPECT_EQ(dialog.isVisible(), !says.empty());
        EXPECT_EQ(dialog.Chosen().has_value(), says.empty());
        if (!says.empty()) {
            EXPECT_TRUE(dialog.Refusal().text().toStdString().starts_with(says))
                << dialog.Refusal().text().toStdString();
        } else {
            EXPECT_EQ(dialog.Chosen()->port, c.taken);
            EXPECT_EQ(dialog.Chosen()->modbus.has_value(), *c.modbus != '\0');
            EXPECT_EQ(dialog.Chosen()->modbusText, c.modbus);
        }
    }
}

}  // namespace
}  // namespace apptest
