#include "KarvelReader.h"

#include <cstdio>

#include "CScalePanelDlg.h"
#include "ReaderSession.h"
#include "platform/component/Activation.h"

namespace mirror {

namespace {

// Notes each frame the panel hands to the display, after the panel has handled its last byte.
class MirrorPanel : public CScalePanelDlg {
  public:
    explicit MirrorPanel(PanelServices services) : CScalePanelDlg(std::move(services)) {}

    void Attach(ReaderSession* session) { m_session = session; }

    window::LResult HandleMessage(window::MessageId id, window::WParam w,
                                  window::LParam l) override {
        const window::LResult result = CScalePanelDlg::HandleMessage(id, w, l);
        if (id == PN_BYTE && m_session != nullptr && g_rxWindow[0] == 0x06 && g_rxWindow[1] == 0xAA)
            m_session->FrameShown(g_rxWindow[2]);
        return result;
    }

  private:
    ReaderSession* m_session = nullptr;
};

}  // namespace

int RunKarvelReader(const std::string& portFolder) {
    PanelServices services;
    services.ports = std::make_shared<serial_port::PortMap>(portFolder);
    services.createControl = component::CreateInstance;
    services.presenter = [](QWidget*, const MessageBoxRequest& request) {
        std::fprintf(stderr, "mirror: the panel shows: %s\n", qPrintable(request.text));
    };
    MirrorPanel panel(services);
    if (component::Failed(panel.CreateDisplayControl()) ||
        panel.DisplayControl().Widget() == nullptr) {
        std::fprintf(stderr, "mirror: the display control cannot be created: %s\n",
                     component::LastActivationError().c_str());
        return 1;
    }
    ReaderSession session(panel.DisplayControl().Widget());
    panel.Attach(&session);
    panel.OnInitDialog();
    panel.show();
    if (panel.Port() != 1) {
        std::fprintf(stderr, "mirror: the panel did not find the stream on COM1\n");
        return 1;
    }
    const int code = session.Run();
    panel.OnDestroy();
    return code;
}

}  // namespace mirror
