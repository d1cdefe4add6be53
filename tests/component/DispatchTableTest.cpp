#include "platform/component/DispatchTable.h"

#include <gtest/gtest.h>

namespace component {
namespace {

constexpr VarType kShort[] = {VarType::I2};
constexpr VarType kTwo[] = {VarType::I2, VarType::I4};
constexpr DispatchMember kMembers[] = {
    {1, "SetValue", kShort},
    {2, "Pair", kTwo},
    {kDispIdAboutBox, "AboutBox", {}},
};

TEST(DispatchTable, ResolvesNamesCaseInsensitively) {
    const DispatchTable table(kMembers);
    const char* names[] = {"setvalue"};
    DispId id = 0;
    EXPECT_EQ(table.GetIdsOfNames(names, &id), kOk);
    EXPECT_EQ(id, 1);
    const char* about[] = {"ABOUTBOX"};
    EXPECT_EQ(table.GetIdsOfNames(about, &id), kOk);
    EXPECT_EQ(id, kDispIdAboutBox);
    const char* unknown[] = {"SetValu"};
    EXPECT_EQ(table.GetIdsOfNames(unknown, &id), kUnknownName);
    EXPECT_EQ(id, -1);
}

TEST(DispatchTable, RejectsBeforeAnyMemberRuns) {
    const DispatchTable table(kMembers);
    std::vector<Variant> converted;
    std::uint32_t argError = 77;
    const Variant one[] = {Variant::I4(5)};
    const Variant badSecond[] = {Variant::I2(1), Variant::String("x")};

    EXPECT_EQ(table.Prepare(99, InvokeKind::Method, one, &converted, &argError), kMemberNotFound);
    EXPECT_EQ(table.Prepare(1, InvokeKind::Method, {}, &converted, &argError), kBadParamCount);
    EXPECT_EQ(table.Prepare(kDispIdAboutBox, InvokeKind::Method, one, &converted, &argError),
              kBadParamCount);
    EXPECT_EQ(table.Prepare(2, InvokeKind::Method, badSecond, &converted, &argError),
              kTypeMismatch);
    EXPECT_EQ(argError, 1u);
    EXPECT_EQ(table.Prepare(1, InvokeKind::PropertyGet, one, &converted, &argError),
              kMemberNotFound);

    ASSERT_EQ(table.Prepare(1, InvokeKind::Method, one, &converted, &argError), kOk);
    ASSERT_EQ(converted.size(), 1u);
    EXPECT_EQ(converted[0].Type(), VarType::I2);
    EXPECT_EQ(converted[0].AsInteger(), 5);
}

}  // namespace
}  // namespace component
