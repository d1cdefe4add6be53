// The weighing bench's rules: the check verdict at and around its limits, piece counts, and what
// the forms carry of them.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "record/CheckTally.h"
#include "record/Forms.h"
#include "record/Ticket.h"
#include "record/Weighing.h"
#include "tests/record/Frames.h"
#include "tools/peers/TestFiles.h"

namespace {

// A reading that shows `exact` in `unit`; no number for anything that is none.
scale::Reading Weighing(std::string exact, std::string unit) {
    scale::Reading reading;
    reading.text = exact;
    if (record::ParseDecimal(exact))
        reading.number = scale::Number{exact, std::stod(exact)};
    reading.unit = std::move(unit);
    return reading;
}

record::CheckRule Rule(std::string_view text) {
    std::string error;
    const auto rule = text.find(',') != text.rfind(',') ? record::ParseCheck(text, &error)
                                                        : record::ParseCheckLimits(text, &error);
    EXPECT_TRUE(rule) << text << ": " << error;
    return rule.value_or(record::CheckRule{});
}

// "under 3.000 g" or "none".
std::string Said(const std::optional<record::CheckResult>& result) {
    if (!result)
        return "none";
    return std::string(record::VerdictName(result->verdict)) + " " + result->deviation + " " +
           result->unit;
}

TEST(Check, VerdictAtAndAroundEachLimit) {
    const struct {
        const char* rule;
        const char* exact;
        const char* unit;
        const char* said;
    } cases[] = {
        {"500g,-2,+2", "502.000", "g", "ok 2.000 g"},
        {"500g,-2,+2", "502.001", "g", "over 2.001 g"},
        {"500g,-2,+2", "501.999", "g", "ok 1.999 g"},
        {"500g,-2,+2", "498.000", "g", "ok -2.000 g"},
        {"500g,-2,+2", "497.999", "g", "under -2.001 g"},
        {"500g,-2,+2", "500", "g", "ok 0 g"},
        {"500g,-2,+5", "505.0", "g", "ok 5.0 g"},
        {"500g,-2,+5", "505.1", "g", "over 5.1 g"},
        // Values no double holds exactly, one last figure apart.
        {"0.3kg,-0.1,+0", "0.2", "kg", "ok -0.1 kg"},
        {"0.3kg,-0.1,+0", "0.199", "kg", "under -0.101 kg"},
        {"0.3kg,-0.1,+0", "0.300001", "kg", "over 0.000001 kg"},
        {"500,0,0", "500.00", "", "ok 0.00 "},
        {"500,0,0", "-500", "", "under -1000 "},
        // Other units of mass, converted exactly.
        {"500g,-2,+5", "0.502", "kg", "ok 2 g"},
        {"500g,-2,+5", "0.5051", "kg", "over 5.1 g"},
        {"500g,-2,+5", "0.4979", "kg", "under -2.1 g"},
        {"500g,-2,+5", "1.10", "lb", "ok -1.048393 g"},
        {"1lb,-0,+0", "453.59237", "g", "ok 0 lb"},
        {"1lb,-0,+0", "453.59238", "g", "over 0.00000002205 lb"},
        {"1lb,-0,+0", "16", "oz", "ok 0 lb"},
        {"1kg,-1,+1", "1000000", "mg", "ok 0 kg"},
        {"14lb,-0,+0", "1", "st", "ok 0 lb"},
        {"5ct,-0,+0", "1", "g", "ok 0 ct"},
        // Absolute limits: how far beyond the nearer one.
        {"498g,505g", "498", "g", "ok 0 g"},
        {"498g,505g", "497.9", "g", "under -0.1 g"},
        {"498g,505g", "0.50501", "kg", "over 0.01 g"},
        {"498,505g", "505", "g", "ok 0 g"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Said(record::CheckOf(Rule(c.rule), Weighing(c.exact, c.unit))), c.said)
            << c.rule << " " << c.exact << " " << c.unit;
}

TEST(Check, NoVerdictWithoutANumberOrAUnitThatConverts) {
    const struct {
        const char* rule;
        const char* exact;
        const char* unit;
    } cases[] = {
        {"500g,-2,+5", "----", "g"}, {"500g,-2,+5", "E", "kg"},    {"500g,-2,+5", "12", "pcs"},
        {"500g,-2,+5", "12", ""},    {"500g,-2,+5", "1", "kg lb"}, {"500,-2,+5", "-A1", "kg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Said(record::CheckOf(Rule(c.rule), Weighing(c.exact, c.unit))), "none")
            << c.rule << " " << c.exact << " " << c.unit;
}

TEST(Check, RefusesRulesItCannotUse) {
    std::string error;
    for (const char* bad : {"", "500g", "500g,-2", "500g,+2,-5", "500g,-2,+5,1", "-500g,-2,+5",
                            "500pcs,-2,+5", "500g,--2,+5", "500g,-2,+x", "1e3g,-2,+5"}) {
        error.clear();
        EXPECT_FALSE(record::ParseCheck(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    for (const char* bad : {"505g,498g", "498g,505kg", "498g", "498g,", "a,b"}) {
        error.clear();
        EXPECT_FALSE(record::ParseCheckLimits(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    // Typed the German way: said as such, whichever form was meant.
    for (const char* german : {"250,0g,-0,5,+0,5", "498,5g,505,5g"}) {
        error.clear();
        EXPECT_FALSE(record::ParseCheck(german, &error) ||
                     record::ParseCheckLimits(german, &error));
        EXPECT_NE(error.find("use a decimal point"), std::string::npos) << german << ": " << error;
    }
    EXPECT_EQ(record::RuleText(Rule("500g,2,5")), "500 g -2 +5");
    EXPECT_EQ(Rule("500 g,-2,+5").unit, "g");
    EXPECT_EQ(record::RuleText(Rule("0.498kg,0.505")), "0.498 kg .. 0.505 kg");
    for (const char* given : {"500g,-2,+5", "0.498kg,0.505kg", "1.5,-0.25,+0.5"})
        EXPECT_EQ(record::RuleArgument(Rule(given)), given);
}

TEST(Decimal, RoundsHalfAwayFromZeroOnlyWhereNoExactTextExists) {
    const struct {
        const char* numerator;
        const char* denominator;
        int minPlaces;
        int maxPlaces;
        const char* text;
    } cases[] = {
        {"1", "4", 0, 2, "0.25"},   {"1", "3", 1, 3, "0.333"},  {"2", "3", 0, 2, "0.67"},
        {"-2", "3", 0, 2, "-0.67"}, {"-1", "8", 0, 2, "-0.13"}, {"-1", "1000", 0, 2, "0.00"},
        {"5", "2", 0, 0, "3"},      {"-5", "2", 0, 0, "-3"},    {"1.50", "1", 2, 2, "1.50"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            record::QuotientText(*record::ParseDecimal(c.numerator),
                                 *record::ParseDecimal(c.denominator), c.minPlaces, c.maxPlaces)
                .value_or("none"),
            c.text)
            << c.numerator << "/" << c.denominator;
    EXPECT_FALSE(record::QuotientText({1, 0}, {0, 0}, 0, 2));
    EXPECT_FALSE(record::ParseDecimal("1234567890123456789"));
    EXPECT_TRUE(record::ParseDecimal("123456789012345678"));
}

TEST(Pieces, CountsFromASampleOfTenAndOfOne) {
    const struct {
        const char* sample;
        const char* sampleUnit;
        int count;
        const char* exact;
        const char* unit;
        const char* pieces;
        const char* unitWeight;
    } cases[] = {
        {"0.250", "kg", 10, "2.500", "kg", "100", "0.025"},
        {"0.250", "kg", 10, "2.512", "kg", "100", "0.025"},
        {"0.250", "kg", 10, "2.513", "kg", "101", "0.025"},  // 100.52: to the nearest
        {"0.250", "kg", 10, "0.000", "kg", "0", "0.025"},
        {"0.250", "kg", 10, "-0.050", "kg", "-2", "0.025"},
        {"0.250", "kg", 10, "250", "g", "10", "0.025"},
        {"0.100", "kg", 3, "1.000", "kg", "30", "0.0333333"},
        {"999.999", "g", 100000, "999.999", "g", "100000", "0.00999999"},
        {"0.999", "g", 100000, "0.999", "g", "100000", "0.00000999"},
        {"1.000", "g", 30, "1.000", "g", "30", "0.03333333"},
        {"12.5", "kg", 1, "37.6", "kg", "3", "12.5"},
        {"12.5", "kg", 1, "12.5", "kg", "1", "12.5"},
        {"1.00", "lb", 1, "16", "oz", "1", "1.00"},
        {"0.250", "kg", 10, "----", "kg", "none", ""},
        {"0.250", "kg", 10, "3", "pcs", "none", ""},
        {"5", "", 1, "3", "kg", "none", ""},
        {"5", "", 1, "15", "", "3", "5"},
    };
    for (const auto& c : cases) {
        std::string refusal;
        const auto sample = record::TakeSample(Weighing(c.sample, c.sampleUnit), c.count, &refusal);
        ASSERT_TRUE(sample) << refusal;
        const auto count = record::CountOf(*sample, Weighing(c.exact, c.unit));
        EXPECT_EQ(count ? count->pieces : "none", c.pieces) << c.sample << " " << c.exact;
        EXPECT_EQ(count ? count->unitWeight : "", c.unitWeight) << c.sample;
    }
}

TEST(Pieces, RefusesZeroNegativeAndMissingSamplesAndWarnsOfLightOnes) {
    const struct {
        const char* exact;
        int count;
        bool taken;
        bool light;
    } cases[] = {
        {"0.000", 10, false, false}, {"-0.250", 10, false, false}, {"----", 10, false, false},
        {"0.250", 0, false, false},  {"0.009", 10, true, true},    {"0.010", 10, true, false},
        {"9", 1, true, true},        {"10", 1, true, false},
    };
    for (const auto& c : cases) {
        std::string refusal;
        const auto sample = record::TakeSample(Weighing(c.exact, "kg"), c.count, &refusal);
        EXPECT_EQ(sample.has_value(), c.taken) << c.exact;
        EXPECT_EQ(refusal.empty(), c.taken) << c.exact;
        EXPECT_EQ(sample && sample->light, c.light) << c.exact;
    }
}

TEST(BenchForms, FieldsFollowTheReadingsOwnAndColumnsComeOnlyWithTheirRule) {
    record::WeighingRules rules;
    record::CapturedReading r =
        record::CaptureOf(record_test::MakeFrame(record_test::Showing("0.503")), 5, "/dev/x",
                          record::CaptureRule::kSettled);
    const std::string plain = record::JsonObject(r, "s");
    rules.Apply(&r);
    EXPECT_EQ(record::JsonObject(r, "s"), plain);
    EXPECT_EQ(rules.Columns(record::DefaultCsvColumns()), record::DefaultCsvColumns());

    rules.check = Rule("500g,-2,+5");
    rules.countPieces = true;
    std::string refusal;
    rules.sample = record::TakeSample(Weighing("0.050", "kg"), 10, &refusal);
    rules.Apply(&r);
    const std::string json = record::JsonObject(r, "s");
    EXPECT_EQ(json.substr(0, plain.size() - 1), plain.substr(0, plain.size() - 1));
    EXPECT_EQ(json.substr(plain.size() - 1),
              R"(,"check":"ok","deviation":3,"pieces":101,"unit_weight":0.005})");
    const record::CsvColumns columns = rules.Columns(record::DefaultCsvColumns());
    EXPECT_TRUE(
        record::CsvHeader(columns).ends_with(",capture,check,deviation,pieces,unit_weight\r\n"));
    EXPECT_TRUE(record::CsvRecord(r, columns).ends_with(",settled,ok,3,101,0.005\r\n"));

    // The empty pan is no weighing to check, whatever captured it; its pieces are none.
    for (const auto& empty :
         {record_test::Showing("0.000"), record_test::Showing("0.000", scale::kSignZero)}) {
        record::CapturedReading pan = record::CaptureOf(record_test::MakeFrame(empty), 5, "/dev/x",
                                                        record::CaptureRule::kChange);
        rules.Apply(&pan);
        EXPECT_FALSE(pan.check);
        EXPECT_TRUE(record::CsvRecord(pan, columns).ends_with(",change,,,0,0.005\r\n"));
    }
    EXPECT_TRUE(record::CsvRecord(r, columns, {}, record::CsvDialect{','})
                    .ends_with(";settled;ok;3;101;0,005\r\n"));
    // A reading the rules say nothing of keeps its columns, empty.
    r.check.reset();
    r.pieces.reset();
    EXPECT_TRUE(record::CsvRecord(r, columns).ends_with(",settled,,,,\r\n"));
}

TEST(Ticket, NumbersNeverRepeatAlsoWhenTheProgramIsKilledBetweenTwoTickets) {
    testing_support::TempDir state;
    const std::string folder = state / "deep/karvel";
    std::string error;
    EXPECT_EQ(record::NextTicketNumber(folder, "bench-1", &error), 1u) << error;
    // A program takes a number, prints, and is killed before its next ticket.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string why;
        const bool taken = record::NextTicketNumber(folder, "bench-1", &why) == 2u;
        ::kill(::getpid(), taken ? SIGKILL : SIGTERM);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child took no 2";
    EXPECT_EQ(record::NextTicketNumber(folder, "bench-1", &error), 3u) << error;
    // Each scale counts for itself; a damaged file is left alone and said.
    EXPECT_EQ(record::NextTicketNumber(folder, "bench-2", &error), 1u) << error;
    std::ofstream(folder + "/tickets-bench-1.seq") << "x\n";
    error.clear();
    EXPECT_FALSE(record::NextTicketNumber(folder, "bench-1", &error));
    EXPECT_NE(error.find("tickets-bench-1.seq"), std::string::npos) << error;
    EXPECT_EQ(record::StateFolder("", "/home/u"), "/home/u/.local/state/karvel");
    EXPECT_EQ(record::StateFolder("/s", "/home/u"), "/s/karvel");
}

TEST(Ticket, SaysTheWeightAsTheScaleLabelsItAndTheBenchRulesWhenOn) {
    record::CapturedReading r =
        record::CaptureOf(record_test::MakeFrame(record_test::Showing(
                              "0.503", scale::kSignStable, record_test::kKg | scale::kUnitNet)),
                          5, "/dev/ttyUSB0", record::CaptureRule::kSettled);
    record::TicketFacts facts;
    facts.number = 42;
    facts.scaleId = "bench-1";
    const auto plain = record::TicketLines(r, facts);
    ASSERT_EQ(plain.size(), 5u);
    EXPECT_EQ(plain[0], "Ticket 000042");
    EXPECT_EQ(plain[2], "Scale   bench-1");
    EXPECT_EQ(plain[3], "Port    COM5 (/dev/ttyUSB0)");
    EXPECT_EQ(plain[4], "Net     0.503 kg");
    record::WeighingRules rules;
    rules.check = Rule("500g,-2,+5");
    std::string refusal;
    rules.sample = record::TakeSample(Weighing("0.050", "kg"), 10, &refusal);
    rules.Apply(&r);
    facts.header = "Line 3";
    facts.check = &*rules.check;
    const auto lines = record::TicketLines(r, facts);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Line 3");
    EXPECT_EQ(lines[6], "Check   ok, deviation 3 g (500 g -2 +5)");
    EXPECT_EQ(lines[7], "Pieces  101 (one 0.005 kg)");
}

TEST(CheckTally, CountsEachVerdictAndTheYield) {
    record::CheckTally tally;
    EXPECT_EQ(tally.Text(), "No weighing checked yet");
    const record::CheckRule rule = Rule("500g,-2,+5");
    for (const char* exact : {"497", "500", "501", "502", "505", "506", "-"}) {
        record::CapturedReading r;
        r.reading = Weighing(exact, "g");
        r.check = record::CheckOf(rule, r.reading);
        tally.Add(r);
    }
    // 4 of 6 ok: 66.666... rounds half up at one place.
    EXPECT_EQ(tally.Text(), "1 under, 4 ok, 1 over: yield 66.7 %; 1 without a verdict");
}

}  // namespace
