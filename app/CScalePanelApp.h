#pragma once

// The application object: sets the dialog colours and runs the main panel modally. The panel's
// modal loop is the program's only event loop.

#include <QApplication>
#include <QColor>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/CScalePanelDlg.h"

class CScalePanelApp : public QApplication {
    Q_OBJECT
  public:
    CScalePanelApp(int& argc, char** argv);

    // Runs the panel until it is closed. Returns false: the program then ends instead of
    // entering an event loop of its own. ExitCode tells how it went.
    bool InitInstance();
    int ExitCode() const { return m_exitCode; }
    // The one port the panel opens instead of scanning (--port); empty: scan.
    void SetStartPort(const QString& name) { m_startPort = name; }
    // A scale family for the panel to look for (CScalePanelDlg::SetFamily); none: the scan.
    void SetFamily(scale_link::FamilyLink::Choice choice) { m_family = std::move(choice); }
    // A wire the panel reads by a Source of its own (CScalePanelDlg::SetOwnWire); none: the scan.
    void SetOwnWire(scale_link::OwnWire wire) { m_ownWire = std::move(wire); }
    // Where the raw HID devices are; default: /sys and /dev.
    void SetHidRoots(hid::HidrawRoots roots) { m_hid = std::move(roots); }
    // Which device each COM number stands for; default: the machine's devices.
    void SetPortMap(std::shared_ptr<serial_port::PortMap> ports) { m_ports = std::move(ports); }
    // Made once the panel exists, before it runs, and destroyed before the panel: what the
    // program adds beside the panel (frame observers, menu items). None by default.
    using Companion = std::function<std::unique_ptr<QObject>(CScalePanelDlg& panel)>;
    void SetCompanion(Companion companion) { m_companion = std::move(companion); }
    // Attached to the panel for its whole life (not owned).
    void AddObserver(scale::FrameObserver* observer) { m_observers.push_back(observer); }

    // Gives every dialog of the program (the panel, the About box, message boxes) this background
    // behind its texts and frames, and this text colour.
    static void SetDialogBkColor(const QColor& background, const QColor& text);

  private:
    int m_exitCode = 0;
    // The last 12 bytes received, one for the whole program; the panel never clears it.
    std::shared_ptr<scale::FrameWindow> m_rxWindow = std::make_shared<scale::FrameWindow>();
    QString m_startPort;
    std::optional<scale_link::FamilyLink::Choice> m_family;
    std::optional<scale_link::OwnWire> m_ownWire;
    hid::HidrawRoots m_hid;
    std::shared_ptr<serial_port::PortMap> m_ports;
    Companion m_companion;
    std::vector<scale::FrameObserver*> m_observers;
};

// What the user is told when the display control cannot be created: the class identifier, what
// was looked at, and how to make the control available.
QString DisplayUnavailableMessage(component::Result result, const QString& lookupAccount);

// Says `message` (from DisplayUnavailableMessage) on standard error and, when `onScreen`, also in
// a modal box through `presenter`, since a program started from the menu has no visible
// standard error.
void ReportDisplayUnavailable(const QString& message, bool onScreen,
                              const MessagePresenter& presenter);

// Whether a message box would be seen: a window system, not the offscreen or minimal platform.
bool MessageBoxesVisible();
