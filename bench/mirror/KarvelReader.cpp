#include "bench/mirror/KarvelReader.h"

#include <cstdio>

#include "app/CScalePanelDlg.h"
#include "app/readings/ReadingsCompanion.h"
#include "app/readings/ReadingsModel.h"
#include "app/readings/ReadingsWindow.h"
#include "bench/mirror/ReaderSession.h"
#include "platform/component/Activation.h"
#include "scale/families/Family.h"

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

// Readings of the stream in the readings window: every row but the balance's lines from before
// the reader was ready.
std::uint64_t StreamRows(ReadingsCompanion& companion) {
    auto& rows = static_cast<ReadingsModel&>(*companion.Window()->Table().model());
    // Rows are shown to views in batches: every row held counts.
    rows.Publish();
    std::uint64_t count = 0;
    for (int row = 0; row < rows.rowCount(); ++row) {
        const double weight = rows.index(row, ReadingsModel::kReading).data().toDouble();
        count += weight != kReadyWeight ? 1 : 0;
    }
    return count;
}

int RunLines(CScalePanelDlg& panel, ReaderSession& session) {
    RecordOptions every;
    every.rule = record::CaptureRule::kEvery;
    ReadingsCompanion companion(panel, every, nullptr);
    companion.ShowWindow();
    session.TagFromPicture([&panel] { return TagShownBy(panel.DisplayControl().Widget()); });
    session.CountFrom([&companion] { return StreamRows(companion); });
    panel.OnInitDialog();
    panel.show();
    if (panel.Port() != 1) {
        std::fprintf(stderr, "mirror: the panel did not find the balance on COM1\n");
        return 1;
    }
    return session.Run();
}

}  // namespace

int RunKarvelReader(const std::string& portFolder, bool lines) {
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
    int code = 1;
    if (lines) {
        scale_link::FamilyLink::Choice choice;
        choice.family = scale::families::Find(kLineFamily);
        choice.line = scale::LineSettings{kLineBaud, 'N', 8, 1};
        panel.SetFamily(choice);
        code = RunLines(panel, session);
    } else {
        panel.OnInitDialog();
        panel.show();
        code = panel.Port() == 1 ? session.Run() : 1;
        if (code == 1 && panel.Port() != 1)
            std::fprintf(stderr, "mirror: the panel did not find the stream on COM1\n");
    }
    panel.OnDestroy();
    panel.DetachObserver(&notes);
    return code;
}

}  // namespace mirror
