// lumeq-preview: renders the segment display control into a PNG, reaching it the way any host
// does: created by class identifier through the component layer, values set through member
// calls, picture drawn through its view.

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QRect>

#include "display/LumeqIds.h"
#include "display/res/LumeqVersion.h"
#include "platform/cli/OptionTable.h"
#include "platform/component/Activation.h"
#include "platform/component/EnvironmentInUse.h"
#include "platform/component/Interfaces.h"
#include "platform/component/Ref.h"
#include "platform/posix/Environment.h"
#include "tools/preview/PreviewOptions.h"

namespace {

using component::Ref;
using component::Result;
using component::Variant;
using lumeq_preview::PreviewOptions;

constexpr int kExitFailed = 1;

std::string Describe(Result r) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r));
    return std::string(code) + " (" + component::DescribeResult(r) + ")";
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "lumeq-preview: %s\n", message.c_str());
    return kExitFailed;
}

int PrintVersion() {
    std::puts("lumeq-preview " KARVEL_VERSION);
    std::fflush(stdout);
    Ref<lumeq::VersionSource> source;
    const Result r =
        component::GetClassObject(lumeq::kClsidLumeqCtrl, lumeq::kIidVersionSource, source.Out());
    if (component::Failed(r)) {
        return Fail("cannot reach the Lumeq control library: " + Describe(r) + "\n" +
                    component::LastActivationError());
    }
    const lumeq::VersionInfo& v = *source->Version();
    std::printf("Lumeq control library, file version %u.%u.%u.%u, product version %u.%u.%u.%u\n",
                v.fileVersion[0], v.fileVersion[1], v.fileVersion[2], v.fileVersion[3],
                v.productVersion[0], v.productVersion[1], v.productVersion[2], v.productVersion[3]);
    std::printf("Strings %s (language 0x%04X, code page %u):\n", v.stringTableId,
                v.translationLanguage, v.translationCodePage);
    for (std::size_t i = 0; i < v.stringCount; ++i)
        std::printf("  %s: %s\n", v.strings[i].key, v.strings[i].value);
    return 0;
}

int Render(const PreviewOptions& options) {
    Ref<component::Dispatch> ctrl;
    Result r =
        component::CreateInstance(lumeq::kClsidLumeqCtrl, component::kIidDispatch, ctrl.Out());
    if (component::Failed(r)) {
        return Fail("cannot create the Lumeq control " + lumeq::kClsidLumeqCtrl.ToString() + ": " +
                    Describe(r) + "\n" + component::LastActivationError());
    }

    struct Call {
        component::DispId id;
        Variant arg;
    };
    std::vector<Call> calls;
    for (std::size_t i = 0; i < options.slotValues.size(); ++i) {
        if (options.slotValues[i]) {
            calls.push_back({static_cast<component::DispId>(lumeq::kDispIdSetWM + i),
                             Variant::I2(*options.slotValues[i])});
        }
    }
    // A COLORREF travels as a 32-bit signed value, bit for bit.
    auto colour = [&](component::DispId id, const std::optional<std::uint32_t>& c) {
        if (c)
            calls.push_back({id, Variant::I4(static_cast<std::int32_t>(*c))});
    };
    colour(lumeq::kDispIdSetBackColor, options.backColor);
    colour(lumeq::kDispIdSetForeColor1, options.foreColor1);
    colour(lumeq::kDispIdSetForeColor2, options.foreColor2);
    for (const Call& call : calls) {
        r = ctrl->Invoke(call.id, component::InvokeKind::Method, std::span(&call.arg, 1), nullptr,
                         nullptr);
        if (component::Failed(r))
            return Fail("the control refused member " + std::to_string(call.id) + ": " +
                        Describe(r));
    }

    Ref<component::ViewObject> view = ctrl.Query<component::ViewObject>(component::kIidViewObject);
    if (!view)
        return Fail("the control offers no view to draw");
    // At a ratio the image has the device resolution and the control draws for it; the bounds
    // stay in device-independent pixels.
    QImage image(static_cast<int>(std::ceil(options.width * options.scale)),
                 static_cast<int>(std::ceil(options.height * options.scale)), QImage::Format_RGB32);
    image.setDevicePixelRatio(options.scale);
    r = view->Draw(&image, QRect(0, 0, options.width, options.height));
    if (component::Failed(r))
        return Fail("the control could not draw: " + Describe(r));
    image.setDevicePixelRatio(1);  // the file holds plain pixels
    // Encoded first and written unbuffered, so that a file that takes nothing (a full disk,
    // /dev/full) is a failure here rather than lost in a buffer nobody checks.
    QByteArray png;
    QBuffer encoded(&png);
    if (!encoded.open(QIODevice::WriteOnly) || !image.save(&encoded, "PNG"))
        return Fail("cannot encode the picture as PNG");
    QFile file(QString::fromStdString(options.output));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) ||
        file.write(png) != png.size())
        return Fail("cannot write " + options.output + ": " + file.errorString().toStdString());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    component::UseEnvironment(posix::Environment::FromProcess());
    const std::vector<std::string> args(argv + 1, argv + argc);
    PreviewOptions options;
    std::string error;
    if (!lumeq_preview::ParsePreviewOptions(args, &options, &error)) {
        std::fputs(cli::UsageErrorText("lumeq-preview", error).c_str(), stderr);
        return cli::kExitUsage;
    }
    if (options.help) {
        std::fputs(lumeq_preview::PreviewUsage().c_str(), stdout);
        return 0;
    }

    // The picture is drawn off screen; no display is needed unless the caller chose one.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (options.version)
        return PrintVersion();
    return Render(options);
}
