// A family's part of a readings window row, packed and read back.

#include <gtest/gtest.h>

#include "app/readings/FamilyParts.h"

namespace {

FamilyPart Part(std::string protocol, std::string text, std::size_t lineLength) {
    FamilyPart part;
    part.protocol = std::move(protocol);
    part.reading.text = std::move(text);
    part.values = scale::Slots{1, 2, 3, {4, 5, 6, 7, 8, 9}};
    part.bytes.assign(lineLength, 'S');
    return part;
}

TEST(FamilyParts, EachPartComesBackAsItWasUntilItsRowLeaves) {
    std::vector<FamilyPart> parts = {Part("sics", "123.45", 16), Part("and", "----", 0),
                                     Part("sics", "-0.50", 300), Part("pattern", "", 1)};
    parts[0].reading.number = scale::Number{"123.45", 123.45};
    parts[0].reading.unit = "g";
    parts[0].reading.indicators = {true, false, true, false, true, false, true, false, true, 6};
    parts[1].reading.error = "ES";
    parts[1].reading.underLoad = true;
    parts[1].reading.indicators = {false, true, false, true, false, true, false, true, false, 0};
    parts[2].reading.number = scale::Number{"-0.50", -0.5};
    parts[2].reading.unit = std::string(200, 'u');  // longer than a length's first byte holds

    FamilyParts store;
    const std::uint64_t rows[] = {3, 4, 9, 20};  // a frame's rows between have no part
    for (std::size_t i = 0; i < parts.size(); ++i)
        store.Add(rows[i], parts[i]);
    for (std::size_t i = 0; i < parts.size(); ++i)
        EXPECT_EQ(store.Find(rows[i]), parts[i]) << "row " << rows[i];
    for (const std::uint64_t none : {0, 5, 10, 21})
        EXPECT_FALSE(store.Find(none)) << "row " << none;

    store.DropBefore(9);
    EXPECT_EQ(store.Count(), 2u);
    EXPECT_FALSE(store.Find(3));
    EXPECT_FALSE(store.Find(4));
    EXPECT_EQ(store.Find(9), parts[2]);
    EXPECT_EQ(store.Find(20), parts[3]);
    store.Add(21, parts[0]);
    EXPECT_EQ(store.Find(21), parts[0]);

    store.Clear();
    EXPECT_EQ(store.Count(), 0u);
    store.Add(0, parts[1]);
    EXPECT_EQ(store.Find(0), parts[1]);
}

}  // namespace
