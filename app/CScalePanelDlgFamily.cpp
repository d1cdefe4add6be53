// The panel's side of a scale of another family: detection, its readings on the display, its
// key commands.

#include <QActionGroup>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

#include "app/CScalePanelDlg.h"
#include "app/DialogTemplates.h"
#include "app/PanelText.h"
#include "platform/net/WireAddress.h"
#include "scale/families/Shown.h"

namespace {

namespace families = scale::families;

// "T", "ESC T", "SIR": a command as the user reads it, without its line end.
QString CommandText(const std::string& bytes) {
    QString text;
    for (const char c : bytes) {
        if (c == 0x1B)
            text += QStringLiteral("ESC ");
        else if (c >= 0x20 && c < 0x7F)
            text += QLatin1Char(c);
        else if (c != '\r' && c != '\n')
            text += QStringLiteral("0x%1 ").arg(static_cast<unsigned char>(c), 2, 16, QChar('0'));
    }
    return text.trimmed();
}

// The family's key behind a key of the panel: DATA sends the reading, which a family without
// a DATA key does with PRINT.
families::Key KeyOf(const families::Family& family, families::Key key) {
    if (key == families::Key::kData && !families::CommandFor(family, key) &&
        families::CommandFor(family, families::Key::kPrint))
        return families::Key::kPrint;
    return key;
}

// What a hover says of a network wire the panel reads; empty for a local port.
QString WireNote(const std::string& device) {
    const auto wire = net::ParseWire(device);
    if (!net::NamesWire(device) || !wire)
        return {};
    return QStringLiteral(
               "%1 is a network wire: %2; a dropped connection is a lost port, "
               "connected again when the far end answers.")
        .arg(QString::fromLocal8Bit(device.c_str()),
             wire->scheme == net::Scheme::kTcp
                 ? QStringLiteral("the scale's bytes over TCP as they are")
                 : QStringLiteral("telnet (RFC 2217), the line set on the far port"));
}

}  // namespace

void CScalePanelDlg::SetFamily(scale_link::FamilyLink::Choice choice) {
    m_familyChoice = std::move(choice);
}

void CScalePanelDlg::PlaceOtherUnit() {
    // Under the display's right end, above the keys: nothing of the template is there.
    const QRect px = DuToPixels(QRect(250, 95, 62, 11), PanelTemplate().base);
    m_staticOtherUnit.setGeometry(px);
    m_staticOtherUnit.setTextFormat(Qt::PlainText);
    m_staticOtherUnit.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont font = m_staticOtherUnit.font();
    font.setBold(true);
    font.setPixelSize(std::max(10, px.height() - 4));
    m_staticOtherUnit.setFont(font);
    m_staticOtherUnit.setAccessibleName(QStringLiteral("Unit"));
    m_staticOtherUnit.hide();
}

void CScalePanelDlg::StartFamilyOncePainted(int onlyPort) {
    m_familyDue = onlyPort;
    if (onlyPort != 0)
        m_comboPort.setCurrentIndex(onlyPort - 1);
    ShowOpenState(false);
    ShowFamilyKeys();
    ShowLooking();
}

void CScalePanelDlg::ShowLooking() {
    const families::Family* named = m_familyChoice->family;
    m_staticStatus.Show(
        named ? QStringLiteral("STATUS:Looking for a %1 scale...").arg(TextOf(named->name))
              : QStringLiteral("STATUS:Looking for a scale..."));
}

QString CScalePanelDlg::TakeFamilySaid() {
    return std::exchange(m_familySaid, {}).join(QLatin1Char('\n'));
}

QString CScalePanelDlg::OtherFamiliesHint() {
    return QStringLiteral(
               "A scale of another family (%1) is found with Scale family in the menu (right "
               "click, or the Menu key), or by starting Karvel --protocol auto (Find any "
               "scale, among the program's desktop actions).")
        .arg(TextOf(families::Names()));
}

void CScalePanelDlg::AddFamilyMenu() {
    m_familyMenu = m_systemMenu.addMenu(tr("Scale &family"));  // owned by the menu
    auto* group = new QActionGroup(m_familyMenu);              // owned by the submenu
    const auto add = [this, group](const QString& text, const families::Family* family) {
        QAction* item = m_familyMenu->addAction(text);
        item->setCheckable(true);
        item->setData(family ? TextOf(family->name) : QString());
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, family] { ChooseFamily(family); });
    };
    add(tr("&Any family (auto)"), nullptr);
    m_familyMenu->addSeparator();
    for (const families::Family& family : families::All()) {
        // A pattern is given where the program is started.
        if (family.needsPattern)
            continue;
        QStringList lines;
        for (const scale::LineSettings& line : family.lines)
            lines.push_back(QString::fromStdString(families::LineText(line)));
        // "A&D" is a name, not a mnemonic.
        add(QStringLiteral("%1: %2 (%3)")
                .arg(TextOf(family.name), lines.join(QStringLiteral(" or ")),
                     TextOf(family.describes).replace(QLatin1Char('&'), QStringLiteral("&&"))),
            &family);
    }
}

void CScalePanelDlg::CheckFamilyItem() {
    const QString chosen =
        m_familyChoice && m_familyChoice->family ? TextOf(m_familyChoice->family->name) : QString();
    for (QAction* item : m_familyMenu->actions()) {
        if (item->isCheckable())
            item->setChecked(m_familyChoice && item->data().toString() == chosen);
    }
}

void CScalePanelDlg::ChooseFamily(const families::Family* family) {
    // A wire of its own is left for the ports the family is looked for on.
    if (m_ownWire)
        DropPort();
    // The port the panel holds is looked at again in the family's way; with none, every port.
    const bool held = !m_bClosed || m_serialPort.IsPortHeld();
    const int onlyPort = held ? m_nPort : 0;
    const bool wasOpen = !m_bClosed;
    m_familyDue.reset();
    m_familyLink.reset();
    m_bCloseAfterLoss = false;
    m_follower.Forget();
    if (m_serialPort.IsPortHeld())
        m_serialPort.Close();
    ShowOpenState(false);
    if (wasOpen)
        TellPortState(scale::PortState::Change::kClosed);
    scale_link::FamilyLink::Choice choice;
    choice.family = family;
    if (m_familyChoice)
        choice.pattern = m_familyChoice->pattern;
    m_familyChoice = std::move(choice);
    CheckFamilyItem();
    ShowLooking();
    StartFamily(onlyPort);
}

void CScalePanelDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (!m_familyDue || std::exchange(m_bFamilyPosted, true))
        return;
    // After this paint has reached the screen.
    QTimer::singleShot(0, this, [this] {
        if (m_familyDue && !m_bDestroyed)
            StartFamily(*m_familyDue);
    });
}

void CScalePanelDlg::SayFromLink(const std::string& message) {
    std::fputs(("Karvel: " + message + "\n").c_str(), stderr);
    // Also a hover away, with the status it led to.
    const QString line = TextOf(message);
    m_familySaid.push_back(line);
    if (m_familySaid.size() > 40)
        m_familySaid.pop_front();
    m_staticStatus.AddToNote(line);
}

void CScalePanelDlg::StartFamily(int onlyPort) {
    // OPEN pressed meanwhile stands for the detection that was due.
    m_familyDue.reset();
    const bool wasOpen = !m_bClosed;
    scale_link::SourceEvents events;
    events.reading = [this](const scale::Frame& frame) { OnFamilyReading(frame); };
    events.say = [this](const std::string& message) { SayFromLink(message); };
    events.portState = [this](const scale::PortState& state) { OnFamilyPortState(state); };
    m_familyLink = std::make_unique<scale_link::FamilyLink>(
        Ports(), std::move(events), *m_familyChoice, m_portWatcher.get(), "Karvel");
    const auto found = [this, onlyPort, wasOpen](const posix::Result<int>& port) {
        FamilyFound(onlyPort, wasOpen, port);
    };
    // The window as the program runs it stays live while the ports are looked at; closing it
    // stops the looking with the link.
    if (m_bDetectOncePainted)
        m_familyLink->FindLater(static_cast<unsigned>(onlyPort), found);
    else
        found(m_familyLink->Find(static_cast<unsigned>(onlyPort)));
}

void CScalePanelDlg::FamilyFound(int onlyPort, bool wasOpen, const posix::Result<int>& port) {
    if (!port) {
        m_familyLink.reset();
        if (onlyPort != 0)
            m_comboPort.setCurrentIndex(onlyPort - 1);
        ShowOpenState(false);
        const families::Family* named = m_familyChoice->family;
        m_staticStatus.Show(
            named ? QStringLiteral("STATUS:No %1 scale found").arg(TextOf(named->name))
                  : QStringLiteral("STATUS:No scale found"),
            TakeFamilySaid());
    } else {
        ShowFamilyOpened(*port);
    }
    ShowFamilyKeys();
    TellShownState(wasOpen);
}

void CScalePanelDlg::OnFamilyReading(const scale::Frame& frame) {
    if (m_bDestroyed || !m_familyLink)
        return;
    ShowLinkReading(frame);
}

void CScalePanelDlg::ShowLinkReading(const scale::Frame& frame) {
    scale::FrameBytes bytes{};
    const std::vector<std::uint8_t>& line = frame.familyBytes;
    const bool whole = line.size() == bytes.size();
    if (whole)
        std::copy(line.begin(), line.end(), bytes.begin());
    // The panel's own scale draws its frames as they are.
    families::Shown shown;
    if (frame.protocol == "karvel" && whole)
        shown.values = frame.values;
    else
        shown = families::ShownOf(*frame.familyReading);
    m_familyShown = std::move(shown);
    m_familyPacer.Due();
    if (m_observers.Empty())
        return;
    scale::Frame told = scale::StampFrame(bytes);
    told.values = m_familyShown.values;
    told.familyReading = frame.familyReading;
    told.protocol = frame.protocol;
    told.familyBytes = line;
    m_observers.TellFrame(told);
}

void CScalePanelDlg::DrawFamilyReading() {
    m_display.SetValues(m_familyShown.values);
    m_display.SetReadingUnit(m_familyShown.otherUnit);
    m_display.Display();
    const QString unit = QString::fromStdString(m_familyShown.otherUnit);
    if (unit != m_staticOtherUnit.text())
        m_staticOtherUnit.setText(unit);
    m_staticOtherUnit.setVisible(!unit.isEmpty());
}

void CScalePanelDlg::ShowFamilyOpened(int port) {
    m_nPort = port;
    // Only told what was opened: the link follows its device itself.
    m_follower.Opened(port, m_familyLink->Device());
    m_comboPort.setCurrentIndex(port - 1);
    ShowOpenState(true);
    // A wire is shown by the name the user gave it: its COM number means nothing to them.
    const std::string device = m_familyLink->Device();
    const QString note = WireNote(device);
    const QString name =
        note.isEmpty() ? QStringLiteral("COM%1").arg(port) : QString::fromLocal8Bit(device.c_str());
    m_staticStatus.Show(QStringLiteral("STATUS:%1  OPENED,%2,%3")
                            .arg(name, TextOf(m_familyLink->FamilyFound()->name),
                                 QString::fromStdString(families::LineText(m_familyLink->Line()))),
                        JoinedNote(note, TakeFamilySaid()));
}

void CScalePanelDlg::OnFamilyPortState(const scale::PortState& state) {
    if (m_bDestroyed)
        return;
    // The link follows a lost device and opens it again by itself, at the family's settings.
    if (state.change == scale::PortState::Change::kLost) {
        if (!m_bClosed)
            ShowLoss(JoinedNote(WireNote(Ports().NameOf(static_cast<unsigned>(state.port))),
                                TakeFamilySaid()));
        return;
    }
    ShowFamilyOpened(state.port);
    TellPortState(scale::PortState::Change::kOpened);
}

void CScalePanelDlg::OnFamilyOpenClose() {
    if (m_bClosed) {
        StartFamily(m_comboPort.currentIndex() + 1);
        return;
    }
    m_familyLink.reset();
    ShowOpenState(false);
    m_staticStatus.Show(
        QStringLiteral("STATUS:COM Port Closed"),
        QStringLiteral("%1 was closed with CLOSE; OPEN looks at the port the list shows.")
            .arg(PortName(m_nPort)));
    TellPortState(scale::PortState::Change::kClosed);
}

void CScalePanelDlg::ShowFamilyKeys() {
    const families::Family* family =
        m_familyLink ? m_familyLink->FamilyFound() : m_familyChoice->family;
    if (family == nullptr)
        return;
    const QString name = TextOf(family->name);
    const struct {
        CKeyButton& button;
        families::Key key;
    } keys[] = {{m_btnKeyData, families::Key::kData},
                {m_btnKeyMode, families::Key::kMode},
                {m_btnKeyTare, families::Key::kTare},
                {m_btnKeyOnOff, families::Key::kOnOff}};
    for (const auto& key : keys) {
        const QString keyName = TextOf(families::KeyName(key.key));
        const std::optional<std::string> command =
            families::CommandFor(*family, KeyOf(*family, key.key));
        key.button.setEnabled(command.has_value());
        const QString tip = command ? QStringLiteral("Sends %1's %2 command: %3")
                                          .arg(name, keyName, CommandText(*command))
                                    : QStringLiteral("A %1 scale has no %2 key").arg(name, keyName);
        key.button.setToolTip(tip);
        key.button.setAccessibleDescription(tip);
    }
}

void CScalePanelDlg::SendFamilyKey(std::uint8_t byte) {
    // A family's keys have no second function: the click has sent the command.
    if (!m_familyLink || (byte & scale::kDoubleClick))
        return;
    if (const auto key = families::KeyOfPanelByte(byte))
        m_familyLink->SendKey({KeyOf(*m_familyLink->FamilyFound(), *key)});
}
