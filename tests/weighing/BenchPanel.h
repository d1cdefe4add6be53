#pragma once

// The panel with the real display control, a scale on a pseudo-terminal that repeats what is on
// its pan, and the weighing bench beside it: what the bench's panel tests start from.

#include <QAccessible>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "app/CScalePanelDlg.h"
#include "app/readout/CLargeReadout.h"
#include "app/weighing/WeighingCompanion.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/PortDirectory.h"
#include "tools/peers/TestFiles.h"

namespace benchtest {

using testing_support::PortDirectory;
using testing_support::PtyPeer;
using testing_support::PumpUntil;
using testing_support::ScaleFrame;

inline constexpr std::uint8_t kStable = 0x04;
inline constexpr std::uint8_t kKg = 0x01;

// "0.503" as the nine slot values of a kg reading.
inline std::array<std::uint8_t, 9> Showing(std::string_view text, bool stable = true) {
    static constexpr std::uint8_t kDigits[] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                               0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    std::array<std::uint8_t, 9> values{0, stable ? kStable : std::uint8_t{0}, kKg};
    std::size_t cell = 9;
    bool point = false;
    for (auto c = text.rbegin(); c != text.rend(); ++c) {
        if (*c == '.') {
            point = true;
            continue;
        }
        values[--cell] = static_cast<std::uint8_t>(kDigits[*c - '0'] | (point ? 0x80 : 0));
        point = false;
    }
    return values;
}

class BenchPanelTest : public ::testing::Test {
  protected:
    void Start(record::WeighingOptions options) {
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
        Rebench(std::move(options));
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
        QObject::connect(&repeat, &QTimer::timeout, [this] { scale.Send(ScaleFrame(shown)); });
        repeat.start(20);
    }
    // The bench again, with other options (and the rules of the one before, when given), over
    // an empty pan: a new bench would take the load still on it as its first weighing.
    void Rebench(record::WeighingOptions options,
                 std::shared_ptr<record::WeighingRules> rules = nullptr) {
        if (bench)
            Show("0.000", true);
        bench.reset();
        WeighingCompanion::Setup setup;
        setup.options = std::move(options);
        setup.rules = std::move(rules);
        setup.stateFolder = state.Path().string();
        setup.scaleId = "bench-1";
        bench = std::make_unique<WeighingCompanion>(*panel, std::move(setup));
        QObject::connect(bench.get(), &WeighingCompanion::checked,
                         [this](const record::CapturedReading& r) { captures.push_back(r); });
    }
    void TearDown() override {
        repeat.stop();
        bench.reset();
        panel.reset();
        qunsetenv("KARVEL_COMPONENT_MANIFEST");
    }
    // Puts `text` on the pan and waits until the panel shows it.
    void Show(std::string_view text, bool stable) {
        shown = Showing(text, stable);
        const QString reading = QString::fromLatin1(text.data(), text.size()) + " kg";
        ASSERT_TRUE(PumpUntil([&] {
            const QString said =
                QAccessible::queryAccessibleInterface(panel->DisplayControl().Widget())
                    ->text(QAccessible::Value);
            // After the count of pieces, when there is one.
            return said.startsWith(reading) || said.contains(QStringLiteral(", ") + reading);
        })) << text;
    }
    // Puts `text` on the pan, settled, and waits until it was captured.
    void Weigh(std::string_view text) {
        shown = Showing(text);
        const std::size_t before = captures.size();
        ASSERT_TRUE(PumpUntil([&] {
            return captures.size() > before && captures.back().reading.text == text;
        })) << text;
    }
    CLargeReadout& Readout() {
        panel->ReadingAccess().ShowLargeReadout();
        return *panel->ReadingAccess().LargeReadout();
    }
    static record::WeighingOptions Check(std::string_view rule) {
        record::WeighingOptions options;
        std::string error;
        options.rules.check = record::ParseCheck(rule, &error);
        EXPECT_TRUE(options.rules.check) << error;
        return options;
    }

    // The check, with a ticket of each weighing on `printer`.
    static record::WeighingOptions Printing(const char* printer) {
        record::WeighingOptions options = Check("500g,-2,+5");
        options.printTicket = true;
        options.printer = printer;
        return options;
    }

    PortDirectory ports;
    PtyPeer scale{PtyPeer::Role::Scale};
    testing_support::TempDir state;
    std::unique_ptr<CScalePanelDlg> panel;
    std::unique_ptr<WeighingCompanion> bench;
    std::vector<record::CapturedReading> captures;
    std::array<std::uint8_t, 9> shown = Showing("0.000");
    QTimer repeat;
};

}  // namespace benchtest
