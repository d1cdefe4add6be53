#pragma once

// What the pipeline tests share. Every family both programs read, each from the simulator with
// 12.345 kg on its pan: how the simulator speaks it, what tells a program to read it, and the
// reading every sink must show; the simulator for a row; a form to type into under a private X
// server.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/read/ReadTestSupport.h"
#include "tests/support/XServer.h"
#include "tools/peers/PortDirectory.h"

namespace pipelinetest {

inline constexpr char kLoad[] = "12.345kg";

struct FamilyRow {
    std::string name;
    std::vector<std::string> simulator;  // the simulator's options besides the load
    std::vector<std::string> program;    // either program's options to read it
    std::string text;                    // as the scale shows it; the value is the same figures
    std::string unit;

    // For the test's name.
    friend void PrintTo(const FamilyRow& row, std::ostream* out) { *out << row.name; }
};

// The pattern family reads the simulator's CAS lines.
inline constexpr char kCasPattern[] = "^(?<stable>ST),GS,1@, *(?<value>[-0-9.]+) (?<unit>[a-z]+)$";

inline const std::vector<FamilyRow>& Families() {
    static const std::vector<FamilyRow> rows = {
        {"described", {}, {}, "12.345", "kg"},
        {"karvel", {}, {"--protocol", "karvel"}, "12.345", "kg"},
        {"sics", {"--protocol", "sics"}, {"--protocol", "sics"}, "12345.00", "g"},
        {"and", {"--protocol", "and"}, {"--protocol", "and"}, "12345.00", "g"},
        {"sbi", {"--protocol", "sbi"}, {"--protocol", "sbi"}, "12345.00", "g"},
        {"ohaus", {"--protocol", "ohaus"}, {"--protocol", "ohaus"}, "12345.00", "g"},
        {"toledo", {"--protocol", "toledo"}, {"--protocol", "toledo"}, "12.345", "kg"},
        {"cas", {"--protocol", "cas"}, {"--protocol", "cas"}, "12.345", "kg"},
        {"indicator", {"--protocol", "indicator"}, {"--protocol", "indicator"}, "12.345", "kg"},
        {"pattern",
         {"--protocol", "cas"},
         {"--protocol", "pattern", "--pattern", kCasPattern},
         "12.345",
         "kg"},
    };
    return rows;
}

inline std::string RowName(const testing::TestParamInfo<FamilyRow>& info) {
    return info.param.name;
}

inline bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// `text` as a number; NaN when it is none, so that it equals nothing.
inline double Number(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : std::nan("");
}

// The fields of a reading's JSON that carry the row's value and unit.
inline std::string JsonFields(const FamilyRow& row) {
    return R"("text":")" + row.text + R"(","value":)" + row.text + R"(,"unit":")" + row.unit + "\"";
}

// Waits until the broker has the state and the discovery record of scale `id` (published by
// `program`); the state holds the row's value and unit, the record its unit.
inline void ExpectStateAndDiscovery(readtest::Subscriber& subscriber, const std::string& id,
                                    const FamilyRow& row, readtest::Child& program) {
    const std::string state = "karvel/" + id + "/state";
    const std::string config = "homeassistant/sensor/karvel_" + id + "/weight/config";
    ASSERT_TRUE(subscriber.WaitFor([&](const std::vector<readtest::Message>& all) {
        return !readtest::PayloadsOn(all, state).empty() &&
               !readtest::PayloadsOn(all, config).empty();
    })) << program.Errors();
    EXPECT_TRUE(Holds(subscriber.On(state).back(), JsonFields(row))) << subscriber.On(state).back();
    EXPECT_TRUE(Holds(subscriber.On(config).back(), R"("unit_of_measurement":")" + row.unit + "\""))
        << subscriber.On(config).back();
}

// The simulator with the row's family and load, linked as COM1 in a port folder of the test's.
class SimulatedScale : public testing::TestWithParam<FamilyRow> {
  protected:
    void SetUp() override {
        std::vector<std::string> args = Row().simulator;
        args.insert(args.end(), {"--load", kLoad});
        m_sim = readtest::StartSimulator(m_ports.Path(), args);
        ASSERT_TRUE(m_sim->Started());
    }
    const FamilyRow& Row() const { return GetParam(); }

    testing_support::PortDirectory m_ports;
    std::unique_ptr<readtest::Child> m_sim;
};

// A private X server with the us layout, named by DISPLAY while this lives.
class TypingDesk {
  public:
    TypingDesk() {
        if (!m_x.Display().empty() && m_x.SetLayout("us"))
            m_display.emplace("DISPLAY", m_x.Display());
    }
    bool Up() const { return m_display.has_value(); }
    const std::string& Why() const { return m_x.Why(); }

    // A form with the keyboard's focus; what it prints is what it was typed.
    std::unique_ptr<readtest::Child> StartForm() const {
        const testing_support::ScopedEnv platform("QT_QPA_PLATFORM", "xcb");
        auto form = std::make_unique<readtest::Child>(std::vector<std::string>{WEDGE_FORM_PROBE});
        EXPECT_EQ(form->ReadLine(), "ready") << form->Errors();
        return form;
    }

  private:
    testing_support::XServer m_x;
    std::optional<testing_support::ScopedEnv> m_display;
};

}  // namespace pipelinetest
