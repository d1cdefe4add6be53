#pragma once

// (Beyond the described panel) the scale's display in a window of its own, at any size: another
// display control, fitted to the window and drawn for its size, fed the frames the panel
// receives. While the panel's port is closed or lost a banner says so over the last reading.
// Esc closes it, F11 switches full screen.
//
// Thread: UI thread only.

#include <QLabel>
#include <QWidget>

#include <string>

#include "app/CLumeq.h"
#include "scale/FrameObserver.h"

// What a display's reading says besides itself after `state`: that a closed or lost port's last
// reading is no live weight. Empty while the port is open.
std::string ReadingNoteFor(const scale::PortState& state);

class CLargeReadout : public QWidget {
    Q_OBJECT
  public:
    explicit CLargeReadout(QWidget* parent = nullptr);

    // Creates the window's display control. On failure the window shows nothing of the scale.
    component::Result Create(const CLumeq::Creator& creator);

    void ShowValues(const scale::Slots& values);
    void ShowPortState(const scale::PortState& state);

    CLumeq& DisplayControl() { return m_display; }
    const QLabel& Banner() const { return m_banner; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PlaceBanner();

    CLumeq m_display;
    QLabel m_banner;
};
