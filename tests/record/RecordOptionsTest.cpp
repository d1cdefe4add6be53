// karvel-read's record options: what they refuse and why, and what they keep.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "read/ReadOptions.h"

namespace {

TEST(RecordOptions, RefusesWhatCannotBeUsed) {
    const struct {
        std::vector<std::string_view> args;
        std::string_view says;
    } cases[] = {
        {{"--operator", "Ann"}, "--operator is kept with the weighings of --record"},
        {{"--record=postgresql://scale:pw@db/plant"}, "a password in the URL is refused"},
        {{"--record", "postgresql://db/plant?password=pw"}, "a password in the URL is refused"},
        {{"--record=mysql://db/plant"}, "is neither sqlite:PATH nor postgresql://"},
        {{"--record=sqlite:"}, "is neither sqlite:PATH"},
        {{"--verify", "--records"}, "two runs"},
        {{"--scale", "a"}, "choose what --records prints"},
        {{"--records", "--since", "yesterday"}, "--since needs a UTC time"},
        {{"--records", "--until", "2026-12-09 10:00"}, "--until needs a UTC time"},
        {{"--record", "--raw"}, "does not go with --record"},
        {{"--records", "--format", "text"}, "--records prints --format jsonl or csv"},
        {{"--record-password-file", "f"}, "goes with --record"},
        {{"--record", "--board", "mqtt://h/plant", "--http", "8080"}, "--board keeps no weighings"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(reader::ParseReadOptions(c.args, &error)) << c.args.front();
        EXPECT_NE(error.find(c.says), std::string::npos) << c.args.front() << ": " << error;
    }
}

TEST(RecordOptions, KeepsWhatTheyAreGiven) {
    std::string error;
    const auto kept = reader::ParseReadOptions(
        std::vector<std::string_view>{"--record", "--operator", "O'Brien", "--count", "1"}, &error);
    ASSERT_TRUE(kept) << error;
    EXPECT_TRUE(kept->record.enabled);
    EXPECT_EQ(kept->record.url, "");
    EXPECT_EQ(kept->record.operatorName, "O'Brien");

    const auto listed = reader::ParseReadOptions(
        std::vector<std::string_view>{"--records", "--record=sqlite:/x.sqlite", "--since",
                                      "2026-12-09T10:00Z", "--format", "csv"},
        &error);
    ASSERT_TRUE(listed) << error;
    EXPECT_EQ(listed->record.url, "sqlite:/x.sqlite");
    EXPECT_EQ(listed->record.since, "2026-12-09T10:00");
    EXPECT_TRUE(listed->record.list);
}

}  // namespace
