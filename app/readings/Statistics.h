#pragma once

// Statistics of captured weights of one unit. Plain C++.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

// One row as the statistics see it.
struct Measured {
    std::optional<double> value;  // none when the reading is not a number
    int decimals = 0;             // figures after the point as shown
    std::string unit;
};

struct Statistics {
    std::string unit;  // the unit summed: that of the last row with a number
    std::size_t count = 0;
    double sum = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
    double deviation = 0;  // sample standard deviation; 0 for fewer than two
    double range = 0;
    int decimals = 0;           // the most any summed row shows
    std::size_t otherUnit = 0;  // numbers of another unit, left out
    std::size_t notNumber = 0;  // rows that are no number ("----", over load), left out
};

// Running totals per unit, so that the statistics of all rows cost nothing per row shown.
class UnitTotals {
  public:
    void Add(const Measured& row);
    // Takes in the totals of rows that came after these, as if they had been added here.
    void Merge(const UnitTotals& later);
    Statistics Result() const;

  private:
    struct Totals {
        std::size_t count = 0;
        double sum = 0;
        double min = 0;
        double max = 0;
        double mean = 0;
        double squares = 0;
        int decimals = 0;
    };
    std::map<std::string, Totals> m_units;
    std::string m_lastUnit;
    std::size_t m_notNumber = 0;
};

Statistics Summarize(const std::vector<Measured>& rows);

// "5 readings in kg: sum 12.50, minimum 2.00, ...; 2 in another unit left out". `scope` says
// what was summed ("selected", "all").
std::string StatisticsText(const Statistics& statistics, const std::string& scope);
