#include "tests/display/LumeqHost.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRect>

#include "display/LumeqIds.h"
#include "platform/component/Activation.h"
#include "platform/component/LibraryCache.h"

namespace lumeq_test {

Ref<component::Dispatch> CreateControl() {
    Ref<component::Dispatch> ctrl;
    const Result r =
        component::CreateInstance(lumeq::kClsidLumeqCtrl, component::kIidDispatch, ctrl.Out());
    EXPECT_EQ(r, component::kOk) << Describe(r) << ": " << component::LastActivationError();
    return ctrl;
}

Result Call(component::Dispatch& ctrl, DispId id, std::initializer_list<Variant> args,
            std::uint32_t* argError) {
    return ctrl.Invoke(id, component::InvokeKind::Method, std::span(args.begin(), args.size()),
                       nullptr, argError);
}

QImage Picture(component::Dispatch& ctrl, QSize size) {
    Ref<component::ViewObject> view;
    EXPECT_EQ(ctrl.QueryInterface(component::kIidViewObject, view.Out()), component::kOk);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);  // never a colour of the picture, so an unpainted pixel shows
    if (view) {
        EXPECT_EQ(view->Draw(&image, QRect(QPoint(0, 0), size)), component::kOk);
    }
    return image;
}

QImage PictureOf(const std::function<void(component::Dispatch&)>& setup) {
    Ref<component::Dispatch> ctrl = CreateControl();
    if (!ctrl)
        return {};
    setup(*ctrl.Get());
    return Picture(*ctrl.Get());
}

::testing::AssertionResult SamePicture(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "sizes differ: " << actual.width() << "x" << actual.height() << " against "
               << expected.width() << "x" << expected.height();
    }
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const QRgb a = actual.pixel(x, y) & 0xFFFFFF;
            const QRgb e = expected.pixel(x, y) & 0xFFFFFF;
            if (a != e) {
                char text[96];
                std::snprintf(text, sizeof text, "pixel %d,%d is #%06X, expected #%06X", x, y, a,
                              e);
                return ::testing::AssertionFailure() << text;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

bool WaitUntil(const std::function<bool()>& done, int deadlineMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.hasExpired(deadlineMs))
            return false;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

const component::Library& LumeqLibrary() {
    static const component::Library* library = [] {
        const component::Library* loaded = nullptr;
        const Result r = component::LoadCachedLibrary(LUMEQ_LIBRARY, &loaded);
        if (component::Failed(r)) {
            ADD_FAILURE() << "cannot load " << LUMEQ_LIBRARY << ": "
                          << component::LastActivationError();
            std::abort();
        }
        return loaded;
    }();
    return *library;
}

void* LumeqExport(const char* name) {
    void* address = component::FindExportAddress(LumeqLibrary(), name);
    EXPECT_NE(address, nullptr) << "libLumeq.so does not export " << name;
    return address;
}

std::string Describe(Result r) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r));
    return std::string(code) + " (" + component::DescribeResult(r) + ")";
}

}  // namespace lumeq_test
