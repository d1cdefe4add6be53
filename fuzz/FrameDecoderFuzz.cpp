// Bytes from the serial line as the panel receives them, one message each. The display must be
// updated exactly when a frame completes, with that frame's nine values in order and one
// repaint, and the probe's answer noticed exactly when it passes; nothing else may happen.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QApplication>

#include "CScalePanelDlg.h"
#include "FuzzCheck.h"
#include "RecordingDisplay.h"

namespace {

using component::Variant;
using fuzz::RecordedCall;
using fuzz::RecordingDisplay;

constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kHeader2 = 0xAA;
constexpr component::DispId kFirstSetter = 1;  // SetWM; SetSign .. SetHex6 follow
constexpr component::DispId kDisplay = 10;

// The line as this target expects the panel to read it: the last twelve bytes, oldest first.
class ExpectedDecoder {
  public:
    std::vector<RecordedCall> Feed(std::uint8_t b) {
        if (m_window[11] == kAck && b == kHeader2)
            m_ackSeen = true;
        for (std::size_t i = 0; i + 1 < m_window.size(); ++i)
            m_window[i] = m_window[i + 1];
        m_window[11] = b;
        std::vector<RecordedCall> calls;
        if (m_window[0] == kAck && m_window[1] == kHeader2) {
            for (int slot = 0; slot < 9; ++slot) {
                calls.push_back({kFirstSetter + slot, {Variant::I2(m_window[3 + slot])}});
            }
            calls.push_back({kDisplay, {}});
        }
        return calls;
    }
    bool AckSeen() const { return m_ackSeen; }

  private:
    std::array<std::uint8_t, 12> m_window{};
    bool m_ackSeen = false;
};

// A panel whose display control records what it is told.
struct Bench {
    // The first panel is built here, so that the statics Qt sets up for it are torn down after
    // the bench at exit.
    Bench() { Rebuild(); }

    component::Ref<RecordingDisplay> display;
    std::unique_ptr<CScalePanelDlg> panel;

    void Rebuild() {
        panel.reset();
        display = component::Ref<RecordingDisplay>::Adopt(new RecordingDisplay());
        PanelServices services;
        services.createControl = [shown = display](const component::Guid&,
                                                   const component::Guid& iid, void** out) {
            return shown->QueryInterface(iid, out);
        };
        services.presenter = [](QWidget*, const MessageBoxRequest& request) {
            std::fprintf(stderr, "message box: %s\n", request.text.toLocal8Bit().constData());
            FUZZ_CHECK(false, "received bytes raised a message box");
        };
        panel = std::make_unique<CScalePanelDlg>(std::move(services));
        FUZZ_CHECK(panel->CreateDisplayControl() == component::kOk, "the display was not attached");
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_frame_decoder";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A panel is heavy to build, so one serves inputs until it has seen the probe's answer,
    // which it never forgets. The window is the program's own; every input starts from a
    // fresh one.
    static Bench bench;
    if (bench.panel->AckReceived())
        bench.Rebuild();
    g_rxWindow.fill(0);
    bench.display->TakeCalls();

    ExpectedDecoder expected;
    for (std::size_t i = 0; i < size; ++i) {
        bench.panel->OnPortByte(data[i], 0);
        FUZZ_CHECK(bench.display->TakeCalls() == expected.Feed(data[i]),
                   "the display got other calls than the bytes ask for");
        FUZZ_CHECK(bench.panel->AckReceived() == expected.AckSeen(),
                   "the probe's answer was noticed wrongly");
    }
    return 0;
}
