#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <QWidget>

#include "tests/display/LumeqHost.h"

namespace lumeq_test {
namespace {

using component::kOk;
using Bytes = std::vector<std::uint8_t>;

Bytes Record(std::uint32_t version, std::int32_t cx, std::int32_t cy, std::uint32_t mask) {
    Bytes out;
    for (std::uint32_t v :
         {version, static_cast<std::uint32_t>(cx), static_cast<std::uint32_t>(cy), mask}) {
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    return out;
}

Ref<component::PersistState> Persist(Ref<component::Dispatch>& ctrl) {
    return ctrl.Query<component::PersistState>(component::kIidPersistState);
}

Bytes Saved(Ref<component::Dispatch>& ctrl) {
    Bytes data;
    EXPECT_EQ(Persist(ctrl)->Save(&data), kOk);
    return data;
}

// The record a panel keeps for its display: 205 by 62 dialog units, 359 by 101 pixels.
const Bytes kPanelRecord = Record(0x00010000, 9499, 2672, 0);

TEST(LumeqPersistTest, ExtentFollowsTheSizeTheHostGives) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    QWidget host;
    auto inPlace = ctrl.Query<component::InPlaceObject>(component::kIidInPlaceObject);
    ASSERT_EQ(inPlace->Activate(&host, QRect(0, 0, 359, 101)), kOk);
    EXPECT_EQ(Saved(ctrl), kPanelRecord);
    inPlace->Deactivate();
}

TEST(LumeqPersistTest, LoadingIntoANewInstanceGivesInitialValuesAndTheSavedExtent) {
    const QImage fresh = PictureOf([](component::Dispatch&) {});
    Ref<component::Dispatch> used = CreateControl();
    ASSERT_TRUE(used);
    for (DispId id = 1; id <= 9; ++id)
        Call(*used.Get(), id, {Variant::I2(0)});
    Call(*used.Get(), 11, {Variant::I4(0x00FF0000)});
    Call(*used.Get(), 12, {Variant::I4(0x000000FF)});
    Call(*used.Get(), 13, {Variant::I4(0x00FFFFFF)});
    ASSERT_EQ(Persist(used)->Load(kPanelRecord), kOk);
    const Bytes data = Saved(used);

    Ref<component::Dispatch> loaded = CreateControl();
    ASSERT_TRUE(loaded);
    ASSERT_EQ(Persist(loaded)->InitNew(), kOk);
    ASSERT_EQ(Persist(loaded)->Load(data), kOk);
    EXPECT_TRUE(SamePicture(Picture(*loaded.Get()), fresh));
    EXPECT_EQ(Saved(loaded), kPanelRecord);
}

TEST(LumeqPersistTest, LoadingNeverChangesSlotsOrColours) {
    auto setup = [](component::Dispatch& c) {
        for (DispId id = 1; id <= 9; ++id)
            Call(c, id, {Variant::I2(0x0F)});
        Call(c, 11, {Variant::I4(0x00FF0000)});
    };
    const QImage expected = PictureOf(setup);
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    setup(*ctrl.Get());
    ASSERT_EQ(Persist(ctrl)->Load(kPanelRecord), kOk);
    ASSERT_EQ(Persist(ctrl)->InitNew(), kOk);
    EXPECT_TRUE(SamePicture(Picture(*ctrl.Get()), expected));
}

TEST(LumeqPersistTest, AnyVersionLoadsAndSavingWritesTheCurrentOne) {
    const struct {
        std::uint32_t version;
        std::uint32_t mask;
    } cases[] = {{0x00010000, 0}, {0x00020003, 0}, {0, 0}, {0xFFFFFFFF, 0x5}};
    for (const auto& c : cases) {
        Ref<component::Dispatch> ctrl = CreateControl();
        ASSERT_TRUE(ctrl);
        ASSERT_EQ(Persist(ctrl)->Load(Record(c.version, 1000, -2000, c.mask)), kOk)
            << std::hex << c.version;
        EXPECT_EQ(Saved(ctrl), Record(0x00010000, 1000, -2000, 0)) << std::hex << c.version;
    }
}

TEST(LumeqPersistTest, TruncatedRecordIsRefusedAndChangesNothing) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    ASSERT_EQ(Persist(ctrl)->Load(kPanelRecord), kOk);
    const Bytes other = Record(0x00010000, 1, 2, 0);
    for (std::size_t size : {0u, 4u, 12u, 15u}) {
        const Bytes cut(other.begin(), other.begin() + static_cast<long>(size));
        EXPECT_TRUE(component::Failed(Persist(ctrl)->Load(cut))) << size << " bytes";
        EXPECT_EQ(Saved(ctrl), kPanelRecord) << size << " bytes";
    }
}

}  // namespace
}  // namespace lumeq_test
