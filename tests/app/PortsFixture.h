#pragma once

// A panel in front of a set of pseudo-terminal COM ports.

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include <QTimer>
#include "app/Resources.h"
#include "tests/app/PanelHarness.h"
#include "tests/support/DeviceHolding.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/PortDirectory.h"

namespace apptest {

using testing_support::DeviceLock;
using testing_support::IsHeld;
using testing_support::PortDirectory;
using testing_support::PtyPeer;
using testing_support::PumpUntil;
using testing_support::ScaleFrame;

class PortsFixture : public ::testing::Test {
  protected:
    using Role = PtyPeer::Role;

    PtyPeer& Add(int n, Role role) { return Add(n, std::make_unique<PtyPeer>(role)); }
    PtyPeer& Add(int n, std::unique_ptr<PtyPeer> peer) {
        ports.Map(n, peer->DevicePath());
        PtyPeer& ref = *peer;
        peers[n] = std::move(peer);
        return ref;
    }
    PtyPeer& Peer(int n) { return *peers.at(n); }
    bool Held(int n) { return IsHeld(peers.at(n)->DevicePath()); }

    // Sends a frame from COM`n`'s peer and waits until the display shows it. Like a real scale
    // the peer repeats the frame: a watch thread that has just started purges what came before.
    bool FrameReachesDisplay(int n, const std::array<std::uint8_t, 9>& values) {
        return FrameReachesDisplay(Peer(n), values);
    }
    bool FrameReachesDisplay(PtyPeer& peer, const std::array<std::uint8_t, 9>& values) {
        const std::size_t before = h.log->calls.size();
        const std::vector<std::uint8_t> frame = ScaleFrame(values);
        QTimer repeat;
        QObject::connect(&repeat, &QTimer::timeout, [&] { peer.Send(frame); });
        repeat.start(250);
        if (!peer.Send(frame))
            return false;
        std::array<int, 9> expectedValues{};
        std::copy(values.begin(), values.end(), expectedValues.begin());
        const std::vector<DisplayCall> expected = FrameUpdate(expectedValues);
        return PumpUntil([&] {
            const auto& calls = h.log->calls;
            return calls.size() >= before + expected.size() &&
                   std::equal(expected.begin(), expected.end(), calls.end() - 10);
        });
    }

    QImage LampImage() { return h.panel->Lamp().pixmap().toImage(); }
    static QImage LitLamp() {
        return resources::LoadIcon(resources::kIconLampLit).pixmap(32, 32).toImage();
    }
    static QImage DarkLamp() {
        return resources::LoadIcon(resources::kIconLampDark).pixmap(32, 32).toImage();
    }

    // Declared in this order so that the panel closes its port before the peers go away.
    PortDirectory ports;
    std::map<int, std::unique_ptr<PtyPeer>> peers;
    PanelHarness h{ports.Ports()};
};

}  // namespace apptest
