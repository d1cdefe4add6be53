// The portal back-end over a real session bus (a private dbus-daemon) against a stand-in portal
// (FakePortal.cpp): the requests it makes and waits for, the keysyms it sends, and a request
// the user declines. No desktop portal runs here; the real one was not tried.

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/read/ReadTestSupport.h"
#include "tests/support/Application.h"
#include "wedge/PortalSink.h"

namespace wedge {
namespace {

using readtest::Child;

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

TEST(PortalOnABus, AKeyboardSessionIsAskedForThenOneKeysymPressAndReleasePerStroke) {
    if (::access("/usr/bin/dbus-daemon", X_OK) != 0)
        GTEST_SKIP() << "dbus-daemon is not installed";
    testing_support::App();
    Child daemon({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address"});
    const auto address = daemon.ReadLine();
    ASSERT_TRUE(address) << daemon.Errors();
    // Before the process's first use of the session bus, which stays this one.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address->c_str(), 1);

    const struct {
        const char* decline;  // the request the user declines, or none
        std::vector<std::string> calls;
    } cases[] = {
        {nullptr,
         {"CreateSession", "SelectDevices", "Start", "NotifyKeyboardKeysym", "NotifyKeyboardKeysym",
          "NotifyKeyboardKeysym", "NotifyKeyboardKeysym"}},
        {"SelectDevices", {"CreateSession", "SelectDevices"}},
        {"Start", {"CreateSession", "SelectDevices", "Start"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.decline ? c.decline : "granted");
        std::vector<std::string> argv = {WEDGE_FAKE_PORTAL};
        if (c.decline)
            argv.insert(argv.end(), {"--decline", c.decline});
        Child portal(argv);
        ASSERT_EQ(portal.ReadLine(), "ready") << portal.Errors();

        std::string error;
        auto bus = SessionPortalBus(&error);
        ASSERT_TRUE(bus) << error;
        auto sink = PortalSink::Open(std::move(bus), &error);
        ASSERT_EQ(sink == nullptr, c.decline != nullptr) << error;
        if (sink) {
            ASSERT_TRUE(sink->Type({Stroke::Kind::kChar, U'1'}, &error)) << error;
            ASSERT_TRUE(sink->Type({Stroke::Kind::kEnter, 0}, &error)) << error;
        } else {
            EXPECT_EQ(error, "the desktop's question to allow typing was declined");
        }
        std::vector<std::vector<std::string>> calls;
        while (calls.size() < c.calls.size()) {
            const auto line = portal.ReadLine();
            ASSERT_TRUE(line) << portal.Errors();
            calls.push_back(Words(*line));
        }
        for (std::size_t i = 0; i < calls.size(); ++i)
            EXPECT_EQ(calls[i].front(), c.calls[i]) << i;
        if (!sink)
            continue;
        // One session throughout: the one CreateSession made.
        const std::string session = calls[1].at(1);
        EXPECT_TRUE(session.starts_with("/org/freedesktop/portal/desktop/session/")) << session;
        EXPECT_EQ(calls[2].at(1), session);
        EXPECT_EQ(calls[2].at(2), "QString:");  // no parent window
        const std::vector<std::pair<std::string, std::string>> keys = {{"int:49", "uint:1"},
                                                                       {"int:49", "uint:0"},
                                                                       {"int:65293", "uint:1"},
                                                                       {"int:65293", "uint:0"}};
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const auto& call = calls[3 + i];
            ASSERT_EQ(call.size(), 5u);
            EXPECT_EQ(call[1], session);
            EXPECT_EQ(std::make_pair(call[3], call[4]), keys[i]) << i;
        }
    }
}

}  // namespace
}  // namespace wedge
