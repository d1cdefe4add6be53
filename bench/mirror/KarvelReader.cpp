#include "bench/mirror/KarvelReader.h"

#include <cstdio>

#include "app/CScalePanelDlg.h"
#include "bench/mirror/ReaderSession.h"
#include "platform/component/Activation.h"

namespace mirror {

namespace {

// Notes each frame the panel has handed to the display; the frame's ignored byte is its tag.
class FrameNotes : public scale::FrameObserver {
  public:
    explicit FrameNotes(ReaderSession& session) : m_session(session) {}

    void OnFrame(const scale::Frame& frame) override {
        m_session.FrameShown(frame.bytes[scale::kIgnoredByte]);
    }
    void OnPortState(const scale::PortState&) override {}

  private:
    ReaderSession& m_session;
};

}  // namespace

int RunKarvelReader(const std::string& portFolder) {
    PanelServices services;
    services.ports = std::make_shared<serial_port::PortMap>(portFolder);
    services.createControl = component::CreateInstance;
    services.presenter = [](QWidget*, const MessageBoxRequest& request) {
        std::fprintf(stderr, "mirror: the panel shows: %s\n", qPrintable(request.text));
    };
    CScalePanelDlg panel(services);
    if (component::Failed(panel.CreateDisplayControl()) ||
        panel.DisplayControl().Widget() == nullptr) {
        std::fprintf(stderr, "mirror: the display control cannot be created: %s\n",
                     component::LastActivationError().c_str());
        return 1;
    }
    ReaderSession session(panel.DisplayControl().Widget());
    FrameNotes notes(session);
    panel.AttachObserver(&notes);
    panel.OnInitDialog();
    panel.show();
    if (panel.Port() != 1) {
        std::fprintf(stderr, "mirror: the panel did not find the stream on COM1\n");
        return 1;
    }
    const int code = session.Run();
    panel.OnDestroy();
    panel.DetachObserver(&notes);
    return code;
}

}  // namespace mirror
