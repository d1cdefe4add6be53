#include "app/readout/CReadingAccess.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QShortcut>

#include "app/readout/CLargeReadout.h"
#include "scale/families/Shown.h"

CReadingAccess::CReadingAccess(QDialog& panel, QMenu& menu, CLumeq& display,
                               CLumeq::Creator creator, std::function<void()> copy)
    : QObject(&panel),
      m_panel(panel),
      m_display(display),
      m_creator(std::move(creator)),
      m_copy(std::move(copy)),
      m_readoutPacer(panel, [this] { DrawReadout(); }) {
    menu.addSeparator();
    // The items show the panel's keys; in the menu's own window they are live only while the
    // menu is open, where the panel's shortcuts are not.
    QAction* copyItem = menu.addAction(tr("Copy reading"));
    copyItem->setShortcut(QKeySequence::Copy);
    connect(copyItem, &QAction::triggered, this, [this] { m_copy(); });
    QAction* largeItem = menu.addAction(tr("Large readout"));
    largeItem->setShortcut(QKeySequence(Qt::Key_F11));
    connect(largeItem, &QAction::triggered, this, &CReadingAccess::ShowLargeReadout);
    auto* large = new QShortcut(QKeySequence(Qt::Key_F11), &panel);  // owned by the panel
    connect(large, &QShortcut::activated, this, &CReadingAccess::ShowLargeReadout);
    // A focused text field would take Ctrl+C for itself; in the panel it always copies the
    // reading.
    qApp->installEventFilter(this);
}

CReadingAccess::~CReadingAccess() {
    qApp->removeEventFilter(this);
}

bool CReadingAccess::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == &m_panel &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
            // Not taken by the widget: the panel's Ctrl+C shortcut runs.
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void CReadingAccess::OnFrame(const scale::Frame& frame) {
    m_lastValues = frame.values;
    m_lastUnit =
        frame.familyReading ? scale::families::ShownOf(*frame.familyReading).otherUnit : "";
    if (m_readout)
        m_readoutPacer.Due();
}

void CReadingAccess::DrawReadout() {
    if (!m_readout)
        return;
    m_readout->ShowUnit(m_lastUnit);
    m_readout->ShowValues(m_lastValues);
}

void CReadingAccess::OnPortState(const scale::PortState& state) {
    m_lastState = state;
    m_display.SetReadingNote(ReadingNoteFor(state));
    if (m_readout)
        m_readout->ShowPortState(state);
}

void CReadingAccess::ShowLargeReadout() {
    if (!m_readout) {
        // A window of the panel's own, so that the modal panel does not block it.
        auto readout = std::make_unique<CLargeReadout>(&m_panel);
        if (component::Failed(readout->Create(m_creator)))
            return;
        readout->ShowUnit(m_lastUnit);
        readout->ShowValues(m_lastValues);
        if (m_lastState)
            readout->ShowPortState(*m_lastState);
        readout->ShowBand(m_band);
        m_readout = std::move(readout);
    }
    m_readout->show();
    m_readout->raise();
    m_readout->activateWindow();
}

void CReadingAccess::ShowBand(const ReadoutBand& band) {
    // Told every frame: the readout is laid out again only when the band changes.
    if (band == m_band)
        return;
    m_band = band;
    if (m_readout)
        m_readout->ShowBand(band);
}

CLargeReadout* CReadingAccess::LargeReadout() const {
    return m_readout.get();
}
