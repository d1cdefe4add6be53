#pragma once

// (Beyond the described panel) the scale's display in a window of its own, at any size: another
// display control, fitted to the window and drawn for its size, fed the frames the panel
// receives. While the panel's port is closed or lost a banner says so over the last reading.
// Esc closes it, F11 switches full screen.
//
// Thread: UI thread only.

#include <QColor>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <string>

#include "app/CLumeq.h"
#include "scale/FrameObserver.h"

// What a display's reading says besides itself after `state`: that a closed or lost port's last
// reading is no live weight. Empty while the port is open.
std::string ReadingNoteFor(const scale::PortState& state);

// (Weighing bench) what a band across the foot of the readout says of the last weighing: the
// verdict's word in its colour, read from a metre away, and the figures beside it. Never colour
// alone: the word is always there.
struct ReadoutBand {
    QString word;    // "UNDER", "OK", "OVER", or "125 pcs"; empty: no band
    QString detail;  // "+2.001 g", or the weight in small beside the pieces
    QColor background;
    QColor text;
    QString spoken;  // what a screen reader says of it

    bool operator==(const ReadoutBand&) const = default;
};

class CLargeReadout : public QWidget {
    Q_OBJECT
  public:
    explicit CLargeReadout(QWidget* parent = nullptr);

    // Creates the window's display control. On failure the window shows nothing of the scale.
    component::Result Create(const CLumeq::Creator& creator);

    void ShowValues(const scale::Slots& values);
    // A family's unit that no label of the display shows ("g", "pcs"), beside the figures as
    // the panel shows it beside its display; empty: none.
    void ShowUnit(const std::string& unit);
    void ShowPortState(const scale::PortState& state);
    void ShowBand(const ReadoutBand& band);

    CLumeq& DisplayControl() { return m_display; }
    const QLabel& Banner() const { return m_banner; }
    const QLabel& Band() const { return m_band; }
    const QLabel& Unit() const { return m_unit; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PlaceBanner();

    CLumeq m_display;
    QLabel m_banner;
    QLabel m_band;
    QLabel m_unit;
};
