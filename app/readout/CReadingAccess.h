#pragma once

// The panel's reading for everyone: Ctrl+C copies it whatever has the focus, the context menu
// offers "Copy reading" and "Large readout", F11 opens the large readout, and after CLOSE or a
// loss the display's accessible reading says it is the last one. Sees the panel only through
// its frame observers, its menu and its display.
//
// Thread: UI thread only. Attach it to the panel's observers; it outlives none of the panel's
// members it is given.

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/CLumeq.h"
#include "app/readout/CLargeReadout.h"
#include "app/readout/RefreshPacer.h"
#include "scale/FrameObserver.h"

class QDialog;
class QMenu;

class CReadingAccess : public QObject, public scale::FrameObserver {
    Q_OBJECT
  public:
    // `copy` puts the panel's reading on the clipboard.
    CReadingAccess(QDialog& panel, QMenu& menu, CLumeq& display, CLumeq::Creator creator,
                   std::function<void()> copy);
    ~CReadingAccess() override;

    void OnFrame(const scale::Frame& frame) override;
    void OnPortState(const scale::PortState& state) override;

    // Opens (or raises) the large readout showing the last reading and port state.
    void ShowLargeReadout();
    // What the large readout's band says, now and whenever it is opened.
    void ShowBand(const ReadoutBand& band);
    // The open large readout, or null.
    CLargeReadout* LargeReadout() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The newest reading in the open large readout.
    void DrawReadout();

    QDialog& m_panel;
    CLumeq& m_display;
    CLumeq::Creator m_creator;
    std::function<void()> m_copy;
    scale::Slots m_lastValues;
    std::string m_lastUnit;  // a family's unit that no label shows
    std::optional<scale::PortState> m_lastState;
    ReadoutBand m_band;
    std::unique_ptr<CLargeReadout> m_readout;
    // Readings can come faster than the screen shows them.
    RefreshPacer m_readoutPacer;
};
