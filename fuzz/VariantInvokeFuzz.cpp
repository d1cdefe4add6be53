// Dispatch arguments of every type, converted on their own and sent to the display control by
// member id, with arbitrary ids, call kinds and argument lists; then one paint pass into an
// image of arbitrary size and bounds. The control is created the way a host creates it: by
// class identifier from the manifest beside this program.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QRect>

#include "display/LumeqIds.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/VariantFromBytes.h"
#include "platform/component/Activation.h"
#include "platform/component/Interfaces.h"
#include "platform/component/Ref.h"

namespace {

using component::DispId;
using component::InvokeKind;
using component::Ref;
using component::Result;
using component::Variant;
using component::VarType;

constexpr std::uint32_t kUntouched = 0xFFFFFFFFu;
constexpr QRgb kUnpainted = 0xFFFF00FFu;  // never a colour the control draws unless told to

struct Argument {
    Variant value;
    std::optional<std::int64_t> exact;
};

Argument MakeArgument(FuzzedDataProvider& in) {
    Argument a;
    a.value = fuzz::MakeVariant(in, &a.exact);
    return a;
}

void CheckConversions(const Argument& a) {
    for (const VarType target : {VarType::I2, VarType::I4}) {
        Variant out = Variant::String("untouched");
        const Result r = a.value.ConvertTo(target, &out);
        FUZZ_CHECK(r == a.value.ConvertTo(target, nullptr),
                   "the result depends on whether the value is wanted");
        if (r == component::kOk) {
            FUZZ_CHECK(out.Type() == target, "a conversion gives another type");
        } else {
            FUZZ_CHECK(r == component::kOverflow || r == component::kTypeMismatch,
                       "a conversion fails with an unexpected code");
            FUZZ_CHECK(out == Variant::String("untouched"), "a failed conversion wrote its out");
        }
        std::int64_t expected = 0;
        if (const auto want = fuzz::ExpectedConversion(a.value, a.exact, target, &expected)) {
            FUZZ_CHECK(r == *want, "a conversion succeeds or fails wrongly");
            if (r == component::kOk)
                FUZZ_CHECK(out.AsInteger() == expected, "a conversion gives the wrong value");
        } else if (r == component::kOk) {
            const std::int64_t limit = target == VarType::I2 ? 32767 : 2147483647;
            FUZZ_CHECK(out.AsInteger() >= -limit - 1 && out.AsInteger() <= limit,
                       "a converted value is out of its type's range");
        }
    }
    for (const VarType other : {VarType::Empty, VarType::R8, VarType::String, VarType::I8}) {
        FUZZ_CHECK(a.value.ConvertTo(other, nullptr) == component::kTypeMismatch,
                   "a conversion to an unsupported type succeeds");
    }
}

// The parameter type of each member the control has, by id; Empty for none.
std::optional<std::optional<VarType>> ParameterOf(DispId id) {
    if (id >= lumeq::kDispIdSetWM && id <= lumeq::kDispIdSetHex6)
        return std::optional<VarType>(VarType::I2);
    if (id == lumeq::kDispIdDisplay)
        return std::optional<VarType>();
    if (id >= lumeq::kDispIdSetBackColor && id <= lumeq::kDispIdSetForeColor2)
        return std::optional<VarType>(VarType::I4);
    return std::nullopt;
}

DispId MakeId(FuzzedDataProvider& in) {
    if (in.ConsumeBool())
        return in.ConsumeIntegralInRange<DispId>(-2, 15);
    return in.ConsumeIntegral<DispId>();
}

InvokeKind MakeKind(FuzzedDataProvider& in) {
    static constexpr InvokeKind kKinds[] = {InvokeKind::Method, InvokeKind::Method,
                                            InvokeKind::PropertyGet, InvokeKind::PropertyPut};
    if (in.ConsumeProbability<float>() < 0.9f)
        return in.PickValueInArray(kKinds);
    return static_cast<InvokeKind>(in.ConsumeIntegral<std::uint16_t>());
}

void CheckInvoke(component::Dispatch& ctrl, DispId id, InvokeKind kind,
                 const std::vector<Argument>& args) {
    std::vector<Variant> values;
    for (const Argument& a : args)
        values.push_back(a.value);
    Variant result = Variant::I4(12345);
    std::uint32_t argError = kUntouched;
    const Result r = ctrl.Invoke(id, kind, values, &result, &argError);

    const auto parameter = ParameterOf(id);
    Result expected = component::kOk;
    std::uint32_t expectedArgError = kUntouched;
    if (!parameter || kind != InvokeKind::Method) {
        expected = component::kMemberNotFound;
    } else if (args.size() != (*parameter ? 1u : 0u)) {
        expected = component::kBadParamCount;
    } else if (*parameter) {
        const Result converted = args[0].value.ConvertTo(**parameter, nullptr);
        if (converted != component::kOk) {
            expected = converted;
            expectedArgError = 0;
        }
    }
    FUZZ_CHECK(r == expected, "Invoke answers with the wrong result");
    FUZZ_CHECK(argError == expectedArgError, "Invoke names the wrong argument");
    if (r == component::kOk)
        FUZZ_CHECK(result == Variant(), "a member without a result leaves one");
}

void CheckDraw(component::Dispatch& ctrl, FuzzedDataProvider& in) {
    Ref<component::ViewObject> view;
    FUZZ_CHECK(ctrl.QueryInterface(component::kIidViewObject, view.Out()) == component::kOk,
               "the control has no view");
    const int width = in.ConsumeIntegralInRange<int>(1, 400);
    const int height = in.ConsumeIntegralInRange<int>(1, 120);
    const bool wrongFormat = in.ConsumeProbability<float>() < 0.05f;
    QImage image(width, height, wrongFormat ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(kUnpainted);
    auto coordinate = [&] {
        return in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(-10, 500)
                                : in.ConsumeIntegral<int>();
    };
    const int left = coordinate(), top = coordinate(), right = coordinate(), bottom = coordinate();
    const QRect bounds(QPoint(left, top), QPoint(right, bottom));

    const Result r = view->Draw(&image, bounds);
    const bool valid = !wrongFormat && right >= 0 && bottom >= 0;
    FUZZ_CHECK(r == (valid ? component::kOk : component::kInvalidArgument),
               "Draw accepts or refuses the wrong bounds");
    // The picture covers the origin up to the bounds' far edges and nothing beyond them.
    const std::int64_t paintedWidth = valid ? std::min<std::int64_t>(right + 1LL, width) : 0;
    const std::int64_t paintedHeight = valid ? std::min<std::int64_t>(bottom + 1LL, height) : 0;
    for (int y = 0; y < height; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = y < paintedHeight ? static_cast<int>(paintedWidth) : 0; x < width; ++x)
            FUZZ_CHECK(row[x] == kUnpainted, "Draw paints beyond its bounds");
    }
}

Ref<component::Dispatch> CreateControl() {
    Ref<component::Dispatch> ctrl;
    const Result created =
        component::CreateInstance(lumeq::kClsidLumeqCtrl, component::kIidDispatch, ctrl.Out());
    if (created != component::kOk) {
        std::fprintf(stderr, "cannot create the control: %s\n",
                     component::LastActivationError().c_str());
        std::abort();
    }
    return ctrl;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The control paints text and owns widgets, so it needs a widget application; nothing is
    // shown on a screen, whatever the environment names.
    static char name[] = "fuzz_variant_invoke";
    static char platformOption[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, platformOption, platform, nullptr};
    static int argc = 3;
    static QApplication app(argc, argv);
    // Loads the library now, so that its coverage counts from the first input.
    CreateControl();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);

    const Ref<component::Dispatch> ctrl = CreateControl();
    const int calls = in.ConsumeIntegralInRange<int>(0, 16);
    for (int i = 0; i < calls && in.remaining_bytes() > 0; ++i) {
        const DispId id = MakeId(in);
        const InvokeKind kind = MakeKind(in);
        std::vector<Argument> args(in.ConsumeIntegralInRange<std::size_t>(0, 3));
        for (Argument& a : args) {
            a = MakeArgument(in);
            CheckConversions(a);
        }
        // The About box is modal and would wait for a click.
        if (id == lumeq::kDispIdAboutBox)
            continue;
        CheckInvoke(*ctrl.Get(), id, kind, args);
    }
    CheckDraw(*ctrl.Get(), in);
    return 0;
}
