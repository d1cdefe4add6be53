// One full update of the readout as the panel makes it for every frame from the scale: nine slot
// setter calls by member id, Display, and the paint that follows, at the panel's 359 x 101.
//
//   lumeq_update_bench [iterations]
//
// Prints figure lines: the whole update through the control's window, the same update drawn
// through its view instead of a window, and the nine setter calls alone.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QWidget>

#include "bench/support/CommandLine.h"
#include "display/LumeqIds.h"
#include "platform/component/Activation.h"
#include "platform/component/Interfaces.h"
#include "platform/component/Ref.h"

namespace {

using Clock = std::chrono::steady_clock;
using component::Ref;
using component::Variant;

class PaintCounter : public QObject {
  public:
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

void SetAll(component::Dispatch& ctrl, int round) {
    for (int i = 0; i < 9; ++i) {
        const Variant v = Variant::I2(static_cast<std::int16_t>((round * 9 + i) & 0xFF));
        ctrl.Invoke(lumeq::kDispIdSetWM + i, component::InvokeKind::Method, std::span(&v, 1),
                    nullptr, nullptr);
    }
}

double MicrosPerRound(int rounds, const std::function<void(int)>& round) {
    for (int i = 0; i < rounds / 10 + 1; ++i)
        round(i);  // warm up: fonts, caches, first allocations
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        round(i);
    const std::chrono::duration<double, std::micro> spent = Clock::now() - start;
    return spent.count() / rounds;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> given;
    cli::OptionTable table(cli::kEvery);
    if (const auto code = bench::ReadCommandLine(
            table, "lumeq_update_bench [ITERATIONS]: full updates through dispatch (2000).", argc,
            argv, &given))
        return *code;
    int rounds = 2000;
    if (given.size() > 1 ||
        (!given.empty() && !bench::Whole("ITERATIONS", 1, 100000000, rounds)(given.front()))) {
        std::fputs(
            cli::UsageErrorText("lumeq_update_bench", "give one number of iterations above 0")
                .c_str(),
            stderr);
        return cli::kExitUsage;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Ref<component::Dispatch> ctrl;
    if (component::Failed(component::CreateInstance(lumeq::kClsidLumeqCtrl, component::kIidDispatch,
                                                    ctrl.Out()))) {
        std::fprintf(stderr, "cannot create the control: %s\n",
                     component::LastActivationError().c_str());
        return 1;
    }
    auto inPlace = ctrl.Query<component::InPlaceObject>(component::kIidInPlaceObject);
    auto view = ctrl.Query<component::ViewObject>(component::kIidViewObject);

    QWidget host;
    host.resize(359, 101);
    inPlace->Activate(&host, QRect(0, 0, 359, 101));
    PaintCounter painted;
    inPlace->Widget()->installEventFilter(&painted);
    host.show();
    while (painted.count == 0)
        QCoreApplication::processEvents();

    const double window = MicrosPerRound(rounds, [&](int round) {
        const int before = painted.count;
        SetAll(*ctrl.Get(), round);
        ctrl->Invoke(lumeq::kDispIdDisplay, component::InvokeKind::Method, {}, nullptr, nullptr);
        while (painted.count == before) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    });

    QImage image(359, 101, QImage::Format_RGB32);
    const double drawn = MicrosPerRound(rounds, [&](int round) {
        SetAll(*ctrl.Get(), round);
        view->Draw(&image, QRect(0, 0, 359, 101));
    });

    const double setters =
        MicrosPerRound(rounds * 10, [&](int round) { SetAll(*ctrl.Get(), round); });

    std::printf("figure: full_update_us = %.1f us\n", window);
    std::printf("figure: full_update_view_us = %.1f us\n", drawn);
    std::printf("figure: nine_setters_us = %.2f us\n", setters);
    inPlace->Deactivate();
    return 0;
}
