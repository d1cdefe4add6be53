#include "app/readout/CLargeReadout.h"

#include <QKeyEvent>

#include <algorithm>

namespace {

// Colours of the panel's display: green background, black elements.
constexpr long kBackColor = 0x0000FF00;
constexpr long kForeColor = 0;

}  // namespace

std::string ReadingNoteFor(const scale::PortState& state) {
    return state.change == scale::PortState::Change::kOpened ? std::string()
                                                             : "Last reading, port closed";
}

CLargeReadout::CLargeReadout(QWidget* parent)
    : QWidget(parent, Qt::Window), m_banner(this), m_band(this), m_unit(this) {
    setWindowTitle(tr("Karvel - Large readout"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(1000, 300);
    m_banner.setTextFormat(Qt::PlainText);
    m_banner.setAlignment(Qt::AlignCenter);
    m_banner.setWordWrap(true);
    m_banner.setAutoFillBackground(true);
    QPalette palette = m_banner.palette();
    palette.setColor(QPalette::Window, QColor(160, 0, 0));
    palette.setColor(QPalette::WindowText, Qt::white);
    m_banner.setPalette(palette);
    m_banner.hide();
    m_band.setTextFormat(Qt::RichText);
    m_band.setAlignment(Qt::AlignCenter);
    m_band.setAutoFillBackground(true);
    m_band.setAccessibleDescription(tr("The check of the last weighing"));
    m_band.hide();
    // On the display's own colours, so that it reads as part of the display.
    m_unit.setTextFormat(Qt::PlainText);
    m_unit.setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_unit.setAutoFillBackground(true);
    QPalette unitPalette = m_unit.palette();
    unitPalette.setColor(QPalette::Window, QColor(0, 255, 0));
    unitPalette.setColor(QPalette::WindowText, Qt::black);
    m_unit.setPalette(unitPalette);
    m_unit.setAccessibleName(tr("Unit"));
    m_unit.hide();
}

component::Result CLargeReadout::Create(const CLumeq::Creator& creator) {
    const component::Result r = m_display.Create(this, rect(), {}, creator);
    if (component::Failed(r))
        return r;
    m_display.SetFitToWidget(true);
    m_display.SetBackColor(kBackColor);
    m_display.SetForeColor1(kForeColor);
    ShowValues({});
    if (QWidget* display = m_display.Widget()) {
        // Read by a screen reader like the panel's display.
        display->setFocusPolicy(Qt::StrongFocus);
        setFocusProxy(display);
    }
    m_banner.raise();
    return r;
}

void CLargeReadout::ShowValues(const scale::Slots& values) {
    m_display.SetValues(values);
    m_display.Display();
}

void CLargeReadout::ShowUnit(const std::string& unit) {
    m_display.SetReadingUnit(unit);
    const QString text = QString::fromStdString(unit);
    if (text == m_unit.text() && m_unit.isVisibleTo(this) == !text.isEmpty())
        return;
    m_unit.setText(text);
    m_unit.setVisible(!text.isEmpty());
    PlaceBanner();
}

void CLargeReadout::ShowPortState(const scale::PortState& state) {
    using Change = scale::PortState::Change;
    if (state.change == Change::kOpened) {
        m_banner.hide();
        m_display.SetReadingNote(ReadingNoteFor(state));
        PlaceBanner();
        return;
    }
    const QString port = state.name.empty() ? QStringLiteral("COM%1").arg(state.port)
                                            : QString::fromStdString(state.name);
    m_banner.setText(state.change == Change::kLost
                         ? tr("%1 lost: this is the last reading, not a live weight").arg(port)
                         : tr("%1 closed: this is the last reading, not a live weight").arg(port));
    m_display.SetReadingNote(ReadingNoteFor(state));
    m_banner.show();
    PlaceBanner();
}

void CLargeReadout::ShowBand(const ReadoutBand& band) {
    if (band.word.isEmpty()) {
        m_band.hide();
        PlaceBanner();
        return;
    }
    QPalette palette = m_band.palette();
    palette.setColor(QPalette::Window, band.background);
    palette.setColor(QPalette::WindowText, band.text);
    m_band.setPalette(palette);
    // The word large, the figures at half its size beside it.
    m_band.setText(QStringLiteral("<b>%1</b>&nbsp;&nbsp;<span style=\"font-size:%2px\">%3</span>")
                       .arg(band.word.toHtmlEscaped())
                       .arg(std::max(10, height() / 16))
                       .arg(band.detail.toHtmlEscaped()));
    m_band.setAccessibleName(band.spoken);
    m_band.show();
    PlaceBanner();
}

void CLargeReadout::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    if (event->key() == Qt::Key_F11) {
        setWindowState(windowState() ^ Qt::WindowFullScreen);
        return;
    }
    QWidget::keyPressEvent(event);
}

void CLargeReadout::resizeEvent(QResizeEvent* event) {
    PlaceBanner();
    QWidget::resizeEvent(event);
}

void CLargeReadout::PlaceBanner() {
    // A strip across the top, large enough to read from where the reading is read; the whole
    // last reading stays in view below it.
    QFont font = m_banner.font();
    font.setPixelSize(std::max(14, height() / 14));
    font.setBold(true);
    m_banner.setFont(font);
    const int strip =
        m_banner.isVisibleTo(this) ? std::min(height() / 2, font.pixelSize() * 2 + 8) : 0;
    m_banner.setGeometry(0, 0, width(), strip);
    // The band across the whole width below the reading, a quarter of the height.
    const int band = m_band.isVisibleTo(this) ? height() / 4 : 0;
    QFont bandFont = m_band.font();
    bandFont.setPixelSize(std::max(14, band * 2 / 3));
    m_band.setFont(bandFont);
    m_band.setGeometry(0, height() - band, width(), band);
    // The unit at the right of the figures, at the foot of them, a third of their height.
    const int figures = height() - strip - band;
    int unit = 0;
    if (m_unit.isVisibleTo(this)) {
        QFont unitFont = m_unit.font();
        unitFont.setBold(true);
        unitFont.setPixelSize(std::max(12, figures / 3));
        m_unit.setFont(unitFont);
        const int margin = unitFont.pixelSize() / 3;
        unit = std::min(width() / 3,
                        QFontMetrics(unitFont).horizontalAdvance(m_unit.text()) + 2 * margin);
        m_unit.setContentsMargins(0, 0, margin, figures / 6);
        m_unit.setGeometry(width() - unit, strip, unit, figures);
    }
    if (QWidget* display = m_display.Widget())
        display->setGeometry(0, strip, width() - unit, figures);
}
