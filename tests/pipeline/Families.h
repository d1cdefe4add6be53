#pragma once

// Every family both programs read, each from the simulator with 12.345 kg on its pan: how the
// simulator speaks it, what tells a program to read it, and the reading every sink must show.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

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

}  // namespace pipelinetest
