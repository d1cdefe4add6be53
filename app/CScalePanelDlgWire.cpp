// The panel's side of a scale on a wire of its own (a Modbus transmitter, a USB HID scale): its
// Source found without holding the window, its readings on the display, TARE and ZERO where it
// has them, and the port a user types in the context menu's Port... dialog.

#include <QAction>

#include <utility>

#include "app/CPortDialog.h"
#include "app/CScalePanelDlg.h"
#include "app/DialogTemplates.h"
#include "app/PanelText.h"
#include "platform/net/WireAddress.h"

namespace {

namespace families = scale::families;
using Key = families::Key;

}  // namespace

void CScalePanelDlg::SetOwnWire(scale_link::OwnWire wire) {
    m_ownWire = std::move(wire);
}

void CScalePanelDlg::AddPortItems() {
    QAction* port = m_systemMenu.addAction(tr("&Port..."));  // owned by the menu
    connect(port, &QAction::triggered, this, &CScalePanelDlg::AskForPort);
    m_zeroItem = m_systemMenu.addAction(tr("&Zero"));
    m_zeroItem->setVisible(false);
    connect(m_zeroItem, &QAction::triggered, this, [this] {
        if (m_wireSource && !m_bClosed)
            m_wireSource->SendKey({Key::kZero, false});
    });
}

void CScalePanelDlg::StartWire() {
    const bool wasOpen = !m_bClosed;
    scale_link::SourceEvents events;
    events.reading = [this](const scale::Frame& frame) {
        if (!m_bDestroyed && m_wireSource)
            ShowLinkReading(frame);
    };
    events.say = [this](const std::string& message) { SayFromLink(message); };
    events.portState = [this](const scale::PortState& state) { OnWirePortState(state); };
    m_wireSource =
        scale_link::MakeOwnWireSource(*m_ownWire, Ports(), m_services.hid, std::move(events));
    ShowPortChoice();
    ShowOpenState(false);
    ShowWireKeys();
    m_staticStatus.Show(QStringLiteral("STATUS:Connecting to %1...").arg(TextOf(m_ownWire->port)));
    // A transmitter is connected to on the bus's own thread: the window stays live meanwhile.
    m_wireSource->FindLater(
        0, [this, wasOpen](const posix::Result<int>& found) { WireFound(wasOpen, found); });
}

void CScalePanelDlg::WireFound(bool wasOpen, const posix::Result<int>& found) {
    if (found) {
        ShowWireOpened();
    } else {
        QStringList why{TextOf(found.Error().text)};
        if (!found.Error().detail.empty())
            why << TextOf(found.Error().detail);
        for (const std::string& line : m_wireSource->Unopened())
            why << TextOf(line);
        // Kept until OPEN makes another: this is called from inside it.
        ShowOpenState(false);
        m_staticStatus.Show(QStringLiteral("STATUS:No scale found"),
                            JoinedNote(why.join(QLatin1Char('\n')), TakeFamilySaid()));
    }
    ShowWireKeys();
    TellShownState(wasOpen);
}

QString CScalePanelDlg::OwnWireNote() const {
    const QString port = TextOf(m_ownWire->port);
    if (m_ownWire->modbus)
        return QStringLiteral(
                   "%1 is a Modbus transmitter: its weight is read every %2 ms; a wire that "
                   "drops is a lost port, read again when the transmitter answers.")
            .arg(port)
            .arg(m_ownWire->modbus->poll.count());
    return QStringLiteral(
               "%1 is a USB HID scale: each report it sends is a reading; unplugged, it is a "
               "lost port, read again when it is back.")
        .arg(port);
}

void CScalePanelDlg::ShowPortChoice() {
    // A wire without a number of its own is shown as the user wrote it.
    if (m_nPort > 0) {
        m_comboPort.setCurrentIndex(m_nPort - 1);
        return;
    }
    m_comboPort.setCurrentIndex(-1);
    m_comboPort.setEditText(TextOf(m_ownWire->port));
}

void CScalePanelDlg::ShowWireOpened() {
    ShowPortChoice();
    ShowOpenState(true);
    m_staticStatus.Show(
        QStringLiteral("STATUS:%1  OPENED,%2")
            .arg(TextOf(m_ownWire->port),
                 m_ownWire->modbus ? QStringLiteral("modbus") : QStringLiteral("hid")),
        JoinedNote(OwnWireNote(), TakeFamilySaid()));
}

void CScalePanelDlg::OnWirePortState(const scale::PortState& state) {
    if (m_bDestroyed || !m_wireSource)
        return;
    // The Source looks for a lost wire again by itself.
    if (state.change == scale::PortState::Change::kLost) {
        if (!m_bClosed)
            ShowLoss(JoinedNote(OwnWireNote(), TakeFamilySaid()));
        return;
    }
    ShowWireOpened();
    TellPortState(scale::PortState::Change::kOpened);
}

void CScalePanelDlg::OnWireOpenClose() {
    if (m_bClosed) {
        StartWire();
        return;
    }
    TellPortState(scale::PortState::Change::kClosed);
    m_wireSource.reset();
    ShowOpenState(false);
    m_staticStatus.Show(QStringLiteral("STATUS:COM Port Closed"),
                        QStringLiteral("%1 was closed with CLOSE; OPEN reads it again.")
                            .arg(TextOf(m_ownWire->port)));
}

void CScalePanelDlg::ShowWireKeys() {
    const QString kind = TextOf(scale_link::WireKind(m_ownWire->port));
    const bool tare = m_wireSource && m_wireSource->KeyNamed("TARE");
    const struct {
        CKeyButton& button;
        Key key;
    } keys[] = {{m_btnKeyData, Key::kData},
                {m_btnKeyMode, Key::kMode},
                {m_btnKeyTare, Key::kTare},
                {m_btnKeyOnOff, Key::kOnOff}};
    const QString unavailable = QStringLiteral("Not available on %1: nothing is sent").arg(kind);
    for (const auto& key : keys) {
        const bool sends = key.key == Key::kTare && tare;
        key.button.setEnabled(sends);
        QString tip = unavailable;
        if (sends)
            tip = QStringLiteral("Writes the transmitter's TARE register (the map's tare=)");
        else if (key.key == Key::kTare && m_ownWire->modbus)
            // The transmitter may well have one: the map does not say where.
            tip = QStringLiteral("The --modbus map has no tare=: nothing is sent");
        key.button.setToolTip(tip);
        key.button.setAccessibleDescription(tip);
    }
    m_zeroItem->setVisible(m_wireSource && m_wireSource->KeyNamed("ZERO"));
}

void CScalePanelDlg::SendWireKey(std::uint8_t byte) {
    // No key of a wire has a second function: the click has sent it.
    if (!m_wireSource || (byte & scale::kDoubleClick))
        return;
    if (families::KeyOfPanelByte(byte) == Key::kTare)
        m_wireSource->SendKey({Key::kTare, false});
}

void CScalePanelDlg::DropPort() {
    if (!m_bClosed)
        TellPortState(scale::PortState::Change::kClosed);
    m_familyDue.reset();
    m_familyLink.reset();
    m_wireSource.reset();
    m_ownWire.reset();
    m_bCloseAfterLoss = false;
    m_follower.Forget();
    if (m_serialPort.IsPortHeld())
        m_serialPort.Close();
    ShowOpenState(false);
    m_zeroItem->setVisible(false);
}

void CScalePanelDlg::AskForPort() {
    const QString shown = m_ownWire ? TextOf(m_ownWire->port) : m_comboPort.currentText();
    CPortDialog dialog(this, shown);
    // A transmitter's map is kept for the next port typed.
    if (m_ownWire)
        dialog.Modbus().setText(TextOf(m_ownWire->modbusText));
    if (dialog.exec() == QDialog::Accepted && dialog.Chosen())
        OpenTypedPort(*dialog.Chosen());
}

void CScalePanelDlg::OpenTypedPort(const scale_link::PortChoice& choice) {
    DropPort();
    const std::string& port = choice.port;
    SetStartPort(QString::fromLocal8Bit(port.c_str()));
    const int number = static_cast<int>(Ports().Choose(port));
    // A path named now has its number in the list.
    FillPortList();
    const bool network = net::NamesWire(port) && !scale_link::NamesOwnWire(port);
    if (m_bFamilyForWire && !network) {
        m_familyChoice.reset();
        m_bFamilyForWire = false;
    }
    if (scale_link::NamesOwnWire(port)) {
        m_familyChoice.reset();
        m_ownWire = scale_link::OwnWire{port, choice.modbus, choice.modbusText, std::nullopt};
        m_nPort = number;
        StartWire();
    } else if (network || m_familyChoice) {
        // A network wire is read as a family is: the panel's own unless one was chosen.
        if (!m_familyChoice) {
            m_familyChoice.emplace().family = families::Find("karvel");
            m_bFamilyForWire = true;
        }
        CheckFamilyItem();
        ShowLooking();
        StartFamily(number);
    } else {
        OpenStartPort(number);
    }
}
