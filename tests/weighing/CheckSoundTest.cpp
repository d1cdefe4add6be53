// --check-sound under a private X server: the panel's bench rings the bell on each UNDER and
// OVER and on nothing else, and an X client of the test's own hears it as any other would.
// The program's own main: the application runs on that server, not off screen.

#include <stdlib.h>

#include <QtGui/qguiapplication_platform.h>
#include <QApplication>

#include <xcb/xcb.h>

#include <cstdlib>

#include "tests/support/XServer.h"
#include "tests/weighing/BellWatch.h"
#include "tests/weighing/BenchPanel.h"

namespace benchtest {
namespace {

const testing_support::XServer* g_server = nullptr;

// Every request the application has made, the bell too, has been carried out once the server
// answers one more.
void ApplicationRoundTrip() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_TRUE(x11);
    xcb_connection_t* connection = x11->connection();
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

class CheckSound : public BenchPanelTest {};

TEST_F(CheckSound, TheBellRingsOnUnderAndOverOnlyAndOnlyWhenAskedFor) {
    if (g_server->Display().empty())
        GTEST_SKIP() << g_server->Why();
    BellWatch bells(g_server->Display());
    ASSERT_TRUE(bells.Connected()) << "no XKB on " << g_server->Display();
    record::WeighingOptions options = Check("500g,-2,+5");
    options.checkSound = true;
    Start(options);
    const struct {
        const char* weight;
        bool sound;
        int bells;
    } weighings[] = {
        {"0.497", true, 1},   // under
        {"0.500", true, 0},   // ok
        {"0.505", true, 0},   // ok, at the limit
        {"0.506", true, 1},   // over
        {"0.498", true, 0},   // ok, at the other limit
        {"0.495", false, 0},  // under, without --check-sound
        {"0.510", false, 0},  // over, without it
    };
    for (const auto& w : weighings) {
        if (w.sound != options.checkSound) {
            options.checkSound = w.sound;
            Rebench(options);
        }
        const int before = bells.Bells();
        Weigh(w.weight);
        ApplicationRoundTrip();
        EXPECT_EQ(bells.Bells() - before, w.bells) << w.weight;
    }
}

}  // namespace
}  // namespace benchtest

int main(int argc, char** argv) {
    const testing_support::XServer server;
    benchtest::g_server = &server;
    if (!server.Display().empty()) {
        ::setenv("DISPLAY", server.Display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
