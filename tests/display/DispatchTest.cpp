#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <QColor>

#include "tests/display/LumeqHost.h"

namespace lumeq_test {
namespace {

using component::InvokeKind;
using component::kBadParamCount;
using component::kMemberNotFound;
using component::kOk;
using component::kOverflow;
using component::kTypeMismatch;

constexpr DispId kSetWM = 1, kSetHex1 = 4, kSetHex6 = 9;
constexpr DispId kDisplay = 10, kSetBackColor = 11, kSetForeColor1 = 12, kSetForeColor2 = 13;
constexpr DispId kAboutBox = -552;

QImage WithAllSlots(std::int16_t value) {
    return PictureOf([&](component::Dispatch& c) {
        for (DispId id = kSetWM; id <= kSetHex6; ++id)
            Call(c, id, {Variant::I2(value)});
    });
}

TEST(LumeqDispatchTest, NamesResolveToFixedIdsIgnoringCase) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    const struct {
        const char* name;
        DispId id;
    } cases[] = {
        {"SetWM", 1},          {"setwm", 1},          {"SETSIGN", 2},     {"SetUnit", 3},
        {"SetHex1", 4},        {"SetHex2", 5},        {"SetHex3", 6},     {"SetHex4", 7},
        {"SetHex5", 8},        {"SetHex6", 9},        {"Display", 10},    {"SetBackColor", 11},
        {"SetForeColor1", 12}, {"setforecolor2", 13}, {"AboutBox", -552}, {"ABOUTBOX", -552},
    };
    for (const auto& c : cases) {
        const char* names[] = {c.name};
        DispId id = 0;
        EXPECT_EQ(ctrl->GetIdsOfNames(names, &id), kOk) << c.name;
        EXPECT_EQ(id, c.id) << c.name;
    }
    for (const char* unknown : {"SetHex7", "SetW", "", "Display2", "chWMval"}) {
        const char* names[] = {unknown};
        DispId id = 0;
        EXPECT_EQ(ctrl->GetIdsOfNames(names, &id), component::kUnknownName) << unknown;
        EXPECT_EQ(id, -1) << unknown;
    }
}

TEST(LumeqDispatchTest, EveryBitOfADigitSlotShows) {
    // The truncation checks below compare pictures, which only means something if each bit of
    // the slot they use changes the picture.
    const QImage none = WithAllSlots(0);
    for (int bit = 0; bit < 8; ++bit) {
        const QImage one = PictureOf([&](component::Dispatch& c) {
            for (DispId id = kSetWM; id <= kSetHex6; ++id)
                Call(c, id, {Variant::I2(0)});
            Call(c, kSetHex1, {Variant::I2(static_cast<std::int16_t>(1 << bit))});
        });
        EXPECT_FALSE(SamePicture(one, none)) << "bit " << bit;
    }
}

TEST(LumeqDispatchTest, SlotSettersKeepTheLowEightBits) {
    const struct {
        std::int16_t sent;
        std::int16_t kept;
    } cases[] = {
        {0x1234, 0x34}, {-1, 0xFF},     {256, 0x00},    {0x80, 0x80},
        {0x7F00, 0x00}, {-32768, 0x00}, {0x00A5, 0xA5}, {-2, 0xFE},
    };
    for (DispId id = kSetWM; id <= kSetHex6; ++id) {
        for (const auto& c : cases) {
            const QImage sent = PictureOf([&](component::Dispatch& ctrl) {
                EXPECT_EQ(Call(ctrl, id, {Variant::I2(c.sent)}), kOk);
            });
            const QImage kept = PictureOf(
                [&](component::Dispatch& ctrl) { Call(ctrl, id, {Variant::I2(c.kept)}); });
            EXPECT_TRUE(SamePicture(sent, kept)) << "member " << id << " sent " << c.sent;
        }
    }
}

TEST(LumeqDispatchTest, ArgumentsOfOtherTypesAreConvertedBeforeTheMemberRuns) {
    const struct {
        const char* what;
        Variant arg;
        std::int16_t same;
    } cases[] = {
        {"I4", Variant::I4(0x5A), 0x5A},
        {"UI1", Variant::UI1(0xC3), 0xC3},
        {"I8", Variant::I8(0x81), 0x81},
        {"decimal text", Variant::String("171"), 0xAB},
        {"real half rounds to even", Variant::R8(2.5), 2},
        {"real rounds", Variant::R8(3.5), 4},
        {"true is all ones", Variant::Bool(true), 0xFF},
        {"empty is zero", Variant(), 0x00},
    };
    for (const auto& c : cases) {
        const QImage converted = PictureOf([&](component::Dispatch& ctrl) {
            EXPECT_EQ(Call(ctrl, kSetHex1, {c.arg}), kOk) << c.what;
        });
        const QImage expected = PictureOf(
            [&](component::Dispatch& ctrl) { Call(ctrl, kSetHex1, {Variant::I2(c.same)}); });
        EXPECT_TRUE(SamePicture(converted, expected)) << c.what;
    }
}

TEST(LumeqDispatchTest, ArgumentThatCannotBeConvertedLeavesTheFieldAsItWas) {
    const struct {
        const char* what;
        DispId id;
        Variant arg;
        Result error;
    } cases[] = {
        {"slot above 16 bits", kSetHex1, Variant::I4(40000), kOverflow},
        {"slot below 16 bits", kSetHex1, Variant::I4(-40000), kOverflow},
        {"slot from large real", kSetHex1, Variant::R8(1e10), kOverflow},
        {"slot from words", kSetHex1, Variant::String("abc"), kTypeMismatch},
        {"colour above 32 bits signed", kSetBackColor, Variant::UI4(0xFFFFFFFF), kOverflow},
        {"colour from words", kSetForeColor1, Variant::String("green"), kTypeMismatch},
    };
    auto prepare = [](component::Dispatch& ctrl) {
        Call(ctrl, kSetHex1, {Variant::I2(0x5A)});
        Call(ctrl, kSetBackColor, {Variant::I4(0x00112233)});
        Call(ctrl, kSetForeColor1, {Variant::I4(0x00445566)});
    };
    const QImage before = PictureOf(prepare);
    for (const auto& c : cases) {
        std::uint32_t argError = 99;
        const QImage after = PictureOf([&](component::Dispatch& ctrl) {
            prepare(ctrl);
            EXPECT_EQ(Call(ctrl, c.id, {c.arg}, &argError), c.error) << c.what;
        });
        EXPECT_EQ(argError, 0u) << c.what;
        EXPECT_TRUE(SamePicture(after, before)) << c.what;
    }
}

TEST(LumeqDispatchTest, WrongArgumentCountIsRejectedAndNothingRuns) {
    const QImage before = WithAllSlots(0x11);
    const struct {
        DispId id;
        std::vector<Variant> args;
    } cases[] = {
        {kSetWM, {}},
        {kSetHex1, {Variant::I2(1), Variant::I2(2)}},
        {kSetBackColor, {}},
        {kDisplay, {Variant::I2(0)}},
        // Would show a modal box if it ran; the count is checked first.
        {kAboutBox, {Variant::I2(0)}},
    };
    for (const auto& c : cases) {
        const QImage after = PictureOf([&](component::Dispatch& ctrl) {
            for (DispId id = kSetWM; id <= kSetHex6; ++id)
                Call(ctrl, id, {Variant::I2(0x11)});
            EXPECT_EQ(ctrl.Invoke(c.id, InvokeKind::Method, c.args, nullptr, nullptr),
                      kBadParamCount)
                << "member " << c.id << " with " << c.args.size() << " arguments";
        });
        EXPECT_TRUE(SamePicture(after, before)) << "member " << c.id;
    }
}

TEST(LumeqDispatchTest, UnknownIdsAndPropertyAccessAreNotMembers) {
    Ref<component::Dispatch> ctrl = CreateControl();
    ASSERT_TRUE(ctrl);
    for (DispId id : {0, 14, 15, -1, -551, -553, 1000}) {
        EXPECT_EQ(Call(*ctrl.Get(), id, {Variant::I2(1)}), kMemberNotFound) << id;
        EXPECT_EQ(Call(*ctrl.Get(), id), kMemberNotFound) << id;
    }
    const Variant arg = Variant::I2(1);
    EXPECT_EQ(ctrl->Invoke(kSetWM, InvokeKind::PropertyPut, std::span(&arg, 1), nullptr, nullptr),
              kMemberNotFound);
    EXPECT_EQ(ctrl->Invoke(kSetWM, InvokeKind::PropertyGet, {}, nullptr, nullptr), kMemberNotFound);
}

bool EveryPixelIs(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF))
                return false;
        }
    }
    return true;
}

bool SomePixelIs(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF))
                return true;
        }
    }
    return false;
}

TEST(LumeqDispatchTest, FreshControlShowsEveryElementGreenOnGrey) {
    const QImage fresh = PictureOf([](component::Dispatch&) {});
    const QRgb grey = qRgb(156, 156, 156);
    const QRgb green = qRgb(0, 255, 0);
    EXPECT_TRUE(SomePixelIs(fresh, grey));
    EXPECT_TRUE(SomePixelIs(fresh, green));
    for (int y = 0; y < fresh.height(); ++y) {
        for (int x = 0; x < fresh.width(); ++x) {
            const QRgb p = fresh.pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(p == (grey & 0xFFFFFF) || p == (green & 0xFFFFFF))
                << "pixel " << x << "," << y << " is " << std::hex << p;
        }
    }
    EXPECT_TRUE(SamePicture(fresh, WithAllSlots(0xFF)))
        << "a fresh control holds 0xFF in every slot";
}

TEST(LumeqDispatchTest, ColoursTravelAsColorrefAndReachThePicture) {
    // COLORREF keeps red in the low byte.
    const struct {
        std::int32_t colorref;
        QRgb rgb;
    } cases[] = {
        {0x0000FF00, qRgb(0, 255, 0)},
        {0x00FF0000, qRgb(0, 0, 255)},
        {0x000000FF, qRgb(255, 0, 0)},
        {0x00123456, qRgb(0x56, 0x34, 0x12)},
    };
    for (const auto& c : cases) {
        const QImage back = PictureOf([&](component::Dispatch& ctrl) {
            for (DispId id = kSetWM; id <= kSetHex6; ++id)
                Call(ctrl, id, {Variant::I2(0)});
            EXPECT_EQ(Call(ctrl, kSetBackColor, {Variant::I4(c.colorref)}), kOk);
        });
        EXPECT_TRUE(EveryPixelIs(back, c.rgb)) << std::hex << c.colorref;

        const QImage fore = PictureOf([&](component::Dispatch& ctrl) {
            EXPECT_EQ(Call(ctrl, kSetForeColor1, {Variant::I4(c.colorref)}), kOk);
        });
        EXPECT_TRUE(SomePixelIs(fore, c.rgb)) << std::hex << c.colorref;
        EXPECT_FALSE(SomePixelIs(fore, qRgb(0, 255, 0)) && c.rgb != qRgb(0, 255, 0));
    }
}

TEST(LumeqDispatchTest, SecondForegroundColourIsKeptButNotDrawn) {
    const QImage fresh = PictureOf([](component::Dispatch&) {});
    for (std::int32_t colour : {0x000000FF, 0x00FFFFFF, 0, -1}) {
        const QImage after = PictureOf([&](component::Dispatch& ctrl) {
            EXPECT_EQ(Call(ctrl, kSetForeColor2, {Variant::I4(colour)}), kOk);
            EXPECT_EQ(Call(ctrl, kDisplay), kOk);
        });
        EXPECT_TRUE(SamePicture(after, fresh)) << std::hex << colour;
    }
}

}  // namespace
}  // namespace lumeq_test
