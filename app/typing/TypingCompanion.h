#pragma once

// Typing readings into the focused window from the panel: the checkable "Type readings into the
// focused window" item of the context menu with its settings box, or --type. The typing sink
// takes the captures of the panel's capture point (its own when given none); never typed while a
// window of this program has the focus, nor from a port that was just lost. A mark on the lamp
// shows that typing is on; the lamp's tooltip says how and what became of the last reading; notes
// go to standard error too.
//
// Thread: UI thread only. Lives inside the panel's lifetime.

#include <QAction>
#include <QLabel>
#include <QObject>

#include <memory>
#include <optional>

#include "platform/window/Inbox.h"
#include "record/Capture.h"
#include "wedge/TypeOptions.h"
#include "wedge/TypingSink.h"
#include "wedge/Wedge.h"

class CScalePanelDlg;
class PanelCapture;
class Recorder;

class TypingCompanion : public QObject {
    Q_OBJECT
  public:
    // `options`: the command line's (--type starts typing at once); `capture`: the panel's
    // capture point, which outlives this.
    TypingCompanion(CScalePanelDlg& panel, const wedge::TypeOptions& options, Recorder& capture,
                    QObject* parent = nullptr);
    // With a capture point of its own, by `rule` and `minWeight`.
    TypingCompanion(CScalePanelDlg& panel, const wedge::TypeOptions& options,
                    record::CaptureRule rule, std::optional<double> minWeight,
                    QObject* parent = nullptr);
    ~TypingCompanion() override;

    QAction& Item() { return *m_item; }
    bool Typing() const { return m_sink.Typing(); }
    const wedge::TypeOptions& Options() const { return m_options; }

    // Starts typing by `options`; false, with the reason shown, when the back-end cannot work.
    bool Start(const wedge::TypeOptions& options);
    void Stop();

  signals:
    // A note about typing: skipped readings, a held key, a back-end that failed.
    void noted(const QString& text);

  private:
    TypingCompanion(CScalePanelDlg& panel, const wedge::TypeOptions& options,
                    std::unique_ptr<PanelCapture> own, Recorder* capture, QObject* parent);
    // Whether a reading may be typed now; says why not.
    bool MayType();
    void OnItemToggled(bool checked);
    void Note(const QString& text);
    void ShowState();

    CScalePanelDlg& m_panel;
    wedge::TypeOptions m_options;  // the session's settings
    QAction* m_item = nullptr;     // owned by the panel's menu
    // Shown on the lamp's corner while typing is on.
    QLabel m_badge;
    bool m_toldFocus = false;
    QString m_lastNote;
    window::Inbox m_notes;  // from the typing thread; outlives it
    wedge::TypingSink m_sink;
    std::unique_ptr<PanelCapture> m_ownCapture;  // lent the sink: goes first
};
