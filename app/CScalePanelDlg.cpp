#include "app/CScalePanelDlg.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QShortcut>

#include <utility>

#include "app/CAboutBox.h"
#include "app/CGroupFrame.h"
#include "app/DialogTemplates.h"
#include "app/PortDescription.h"
#include "app/Resources.h"
#include "link/PortScan.h"
#include "platform/component/Activation.h"

namespace {

// System commands the panel's menu carries besides its own item.
constexpr unsigned kScMinimize = 0xF020;
constexpr unsigned kScClose = 0xF060;
constexpr unsigned kIdmAboutBox = 0x0010;
constexpr int kFirstPort = static_cast<int>(serial_port::kFirstPortNumber);
constexpr int kLastPort = static_cast<int>(serial_port::kLastPortNumber);

PanelServices WithDefaults(PanelServices services) {
    if (!services.createControl)
        services.createControl = component::CreateInstance;
    if (!services.presenter)
        services.presenter = ShowMessageBox;
    if (!services.ports)
        services.ports = std::make_shared<serial_port::PortMap>();
    if (!services.receiveWindow)
        services.receiveWindow = std::make_shared<scale::FrameWindow>();
    return services;
}

}  // namespace

CScalePanelDlg::CScalePanelDlg(PanelServices services)
    : QDialog(nullptr),
      m_services(WithDefaults(std::move(services))),
      m_follower(*m_services.ports, [this] { TryReconnect(); }),
      m_comboPort(this),
      m_staticLamp(this),
      m_btnOpenClose(this),
      m_staticStatus(this),
      m_btnKeyOnOff(this),
      m_btnKeyTare(this),
      m_btnKeyMode(this),
      m_btnKeyData(this),
      m_staticOtherUnit(this) {
    m_hIcon = resources::LoadIcon(resources::kIconApp);

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromLatin1(PanelTemplate().caption));
    setFixedSize(DuToPixels(PanelTemplate().du, PanelTemplate().base));
    LayOutFromTemplate();
    PlaceOtherUnit();
    NameKeys();
    ConnectControls();

    // The system menu as the window manager would show it; OnInitDialog adds the About item.
    AddSystemMenuItem(kScMinimize, tr("Mi&nimize"));
    AddSystemMenuItem(kScClose, tr("&Close"));

    m_serialPort.SetFailureReporter([this](const std::string& caption, const std::string& text) {
        ReportEngineFailure(caption, text);
    });
    m_serialPort.SetPortResolver(
        [ports = m_services.ports](std::string_view name) { return ports->ResolveName(name); });

    m_readingAccess = std::make_unique<CReadingAccess>(
        *this, m_systemMenu, m_display, m_services.createControl, [this] { CopyReading(); });
    AttachObserver(m_readingAccess.get());
    AddFamilyMenu();
    AddPortItems();
}

CScalePanelDlg::~CScalePanelDlg() {
    OnDestroy();
}

void CScalePanelDlg::SetStartPort(const QString& name) {
    m_startPort = name;
    const QString caption = QString::fromLatin1(PanelTemplate().caption);
    setWindowTitle(name.isEmpty() ? caption : caption + QStringLiteral(" - ") + name);
}

void CScalePanelDlg::LayOutFromTemplate() {
    QWidget* focusChain = nullptr;
    const DialogTemplate& tmpl = PanelTemplate();
    for (const DialogItem& item : tmpl.items) {
        const QRect px = DuToPixels(item.du, tmpl.base);
        const QString text = QString::fromLatin1(item.text);
        QWidget* w = nullptr;
        switch (item.kind) {
            case DialogItemKind::DisplayControl:
                // Created by CreateDisplayControl; only its place is known now.
                m_displayRect = px;
                continue;
            case DialogItemKind::KeyButton:
                w = KeyButton(item.id);
                w->setGeometry(px);
                break;
            case DialogItemKind::GroupBox: {
                auto* box = new CGroupFrame(text, this);  // owned by the panel
                box->setGeometry(px);
                w = box;
                break;
            }
            case DialogItemKind::StatusLine:
                m_staticStatus.setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
                m_staticStatus.setTextFormat(Qt::PlainText);  // may name a device
                m_staticStatus.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
                m_staticStatus.setGeometry(px);
                w = &m_staticStatus;
                break;
            case DialogItemKind::PortList:
                // The template's height includes the dropped-down list.
                m_comboPort.setGeometry(px.x(), px.y(), px.width(),
                                        m_comboPort.sizeHint().height());
                w = &m_comboPort;
                break;
            case DialogItemKind::Label: {
                auto* label = new QLabel(text, this);  // owned by the panel
                label->setTextFormat(Qt::PlainText);
                label->setGeometry(px);
                w = label;
                break;
            }
            case DialogItemKind::PushButton:
            case DialogItemKind::DefaultPushButton:
                m_btnOpenClose.setText(text);
                m_btnOpenClose.setAutoDefault(false);
                m_btnOpenClose.setGeometry(px);
                w = &m_btnOpenClose;
                break;
            case DialogItemKind::Icon:
                // An icon static takes the size of its icon.
                m_staticLamp.setGeometry(px.x(), px.y(), 32, 32);
                w = &m_staticLamp;
                break;
        }
        // Template order is stacking order (later items on top) and tab order.
        w->raise();
        if (w->focusPolicy() & Qt::TabFocus) {
            if (focusChain)
                QWidget::setTabOrder(focusChain, w);
            focusChain = w;
        }
    }
}

void CScalePanelDlg::NameKeys() {
    // A screen reader cannot read the faces: each key says what it does on the scale; the
    // bytes are for whoever looks at the line, in the tooltip.
    const struct {
        CKeyButton& button;
        const char* name;
        const char* does;
        char letter;
    } keys[] = {{m_btnKeyData, "DATA", "Sends the reading", 'D'},
                {m_btnKeyMode, "MODE", "Changes the unit", 'M'},
                {m_btnKeyTare, "TARE", "Tares the load on the pan", 'T'},
                {m_btnKeyOnOff, "ON/OFF", "Switches the scale on or off", 'O'}};
    for (const auto& key : keys) {
        key.button.setAccessibleName(QString::fromLatin1(key.name));
        key.button.setAccessibleDescription(
            QStringLiteral("%1; double-click or Shift+Space: the key's second function")
                .arg(QString::fromLatin1(key.does)));
        key.button.setToolTip(QString::asprintf("Sends '%c' (0x%02X); a double-click sends 0x%02X",
                                                key.letter, key.letter, key.letter | 0x80));
    }
    // The list is read as the port to use, not as text to edit. A screen reader says the port
    // shown as its name (and would say a label instead), so the description says what it is.
    m_comboPort.setAccessibleDescription(
        QStringLiteral("Serial port: OPEN opens the one shown; each item names its device"));
}

void CScalePanelDlg::ConnectControls() {
    connect(&m_btnKeyData, &CKeyButton::clicked, this, &CScalePanelDlg::OnKeyDataClick);
    connect(&m_btnKeyData, &CKeyButton::doubleClicked, this, &CScalePanelDlg::OnKeyDataDblClk);
    connect(&m_btnKeyMode, &CKeyButton::clicked, this, &CScalePanelDlg::OnKeyModeClick);
    connect(&m_btnKeyMode, &CKeyButton::doubleClicked, this, &CScalePanelDlg::OnKeyModeDblClk);
    connect(&m_btnKeyTare, &CKeyButton::clicked, this, &CScalePanelDlg::OnKeyTareClick);
    connect(&m_btnKeyTare, &CKeyButton::doubleClicked, this, &CScalePanelDlg::OnKeyTareDblClk);
    connect(&m_btnKeyOnOff, &CKeyButton::clicked, this, &CScalePanelDlg::OnKeyOnOffClick);
    connect(&m_btnKeyOnOff, &CKeyButton::doubleClicked, this, &CScalePanelDlg::OnKeyOnOffDblClk);
    connect(&m_comboPort, &QComboBox::activated, this, &CScalePanelDlg::OnPortSelEndOk);
    connect(&m_btnOpenClose, &QPushButton::clicked, this, &CScalePanelDlg::OnOpenClose);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);  // owned by the panel
    connect(help, &QShortcut::activated, this, [this] { OnSysCommand(kIdmAboutBox, 0); });
    auto* copy = new QShortcut(QKeySequence::Copy, this);  // owned by the panel
    connect(copy, &QShortcut::activated, this, &CScalePanelDlg::CopyReading);
}

QAction* CScalePanelDlg::AddSystemMenuItem(unsigned nID, const QString& text) {
    QAction* action = m_systemMenu.addAction(text);
    connect(action, &QAction::triggered, this, [this, nID] { OnSysCommand(nID, 0); });
    return action;
}

CKeyButton* CScalePanelDlg::KeyButton(int controlId) {
    switch (controlId) {
        case kIdKeyData:
            return &m_btnKeyData;
        case kIdKeyMode:
            return &m_btnKeyMode;
        case kIdKeyTare:
            return &m_btnKeyTare;
        case kIdKeyOnOff:
            return &m_btnKeyOnOff;
        default:
            return nullptr;
    }
}

int CScalePanelDlg::DoModal(component::Result* displayResult) {
    const component::Result created = CreateDisplayControl();
    if (displayResult)
        *displayResult = created;
    if (component::Failed(created))
        return -1;
    m_bDetectOncePainted = true;
    OnInitDialog();
    const int result = exec();
    OnDestroy();
    return result;
}

component::Result CScalePanelDlg::CreateDisplayControl() {
    const std::vector<std::uint8_t> state = resources::PanelDisplayState();
    const component::Result r =
        m_display.Create(this, m_displayRect, state, m_services.createControl);
    // The display is a tab stop of the template like the keys, and the first.
    if (QWidget* display = m_display.Widget(); display && component::Succeeded(r)) {
        display->setFocusPolicy(Qt::StrongFocus);
        ChainTabStops();
    }
    return r;
}

void CScalePanelDlg::ChainTabStops() {
    QWidget* previous = nullptr;
    for (const DialogItem& item : PanelTemplate().items) {
        QWidget* w = nullptr;
        if (item.kind == DialogItemKind::DisplayControl)
            w = m_display.Widget();
        else if (item.kind == DialogItemKind::KeyButton)
            w = KeyButton(item.id);
        else if (item.kind == DialogItemKind::PortList)
            w = &m_comboPort;
        else if (item.kind == DialogItemKind::PushButton)
            w = &m_btnOpenClose;
        if (w == nullptr || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

void CScalePanelDlg::FocusFirstTabStop() {
    if (QWidget* display = m_display.Widget())
        display->setFocus();
}

bool CScalePanelDlg::OnInitDialog() {
    StartPortWatcher();

    // A port named by the user takes its number before the ports are listed.
    const int startPort =
        m_startPort.isEmpty()
            ? 0
            : static_cast<int>(Ports().Choose(m_startPort.toLocal8Bit().toStdString()));

    FillPortList();
    AddAboutItem();
    setWindowIcon(m_hIcon);  // big and small window icon
    LoadKeyFaces();
    ClearDisplay();
    m_hIconOpened = resources::LoadIcon(resources::kIconLampLit);
    m_hIconClosed = resources::LoadIcon(resources::kIconLampDark);
    SetFixedLineSettings();

    CheckFamilyItem();
    if (m_ownWire) {
        m_nPort = startPort;
        StartWire();
    } else if (m_familyChoice && m_bDetectOncePainted) {
        StartFamilyOncePainted(startPort);
    } else if (m_familyChoice) {
        StartFamily(startPort);
    } else if (startPort != 0) {
        OpenStartPort(startPort);
    } else {
        ScanForScale();
        ShowScanResult();
        CloseIfLostInScan();
    }
    // TRUE: the platform gives the focus to the first tab stop, the display.
    FocusFirstTabStop();
    return true;
}

void CScalePanelDlg::StartPortWatcher() {
    // Ports that come and go keep the list's tooltips current; the numbers stay with their
    // devices from the first look on.
    m_portWatcher = std::make_unique<scale_link::PortWatcher>(Ports(), m_services.watch);
    connect(m_portWatcher.get(), &scale_link::PortWatcher::folderMadeAgain, this,
            [this] { m_follower.FolderMadeAgain(); });
    connect(m_portWatcher.get(), &scale_link::PortWatcher::portsChanged, this,
            &CScalePanelDlg::OnPortsChanged);
    m_portWatcher->Start();
}

void CScalePanelDlg::FillPortList() {
    // Each item tells which device its COM number stands for.
    m_comboPort.clear();
    for (int n = kFirstPort; n <= kLastPort; ++n)
        m_comboPort.addItem(PortName(n));
    ShowPortTips();
}

void CScalePanelDlg::AddAboutItem() {
    // At the end of the system menu.
    const QString about = resources::LoadString(resources::kStringAboutItem);
    if (!about.isEmpty()) {
        m_systemMenu.addSeparator();
        // The key is the panel's shortcut; in the menu's own window it is live only while the
        // menu is open, where the panel's is not.
        AddSystemMenuItem(kIdmAboutBox, about)->setShortcut(QKeySequence(Qt::Key_F1));
    }
}

void CScalePanelDlg::LoadKeyFaces() {
    struct Key {
        CKeyButton& button;
        int firstBitmap;
    };
    const Key keys[] = {{m_btnKeyData, resources::kBitmapFirstKeyFace},
                        {m_btnKeyMode, resources::kBitmapFirstKeyFace + 2},
                        {m_btnKeyTare, resources::kBitmapFirstKeyFace + 4},
                        {m_btnKeyOnOff, resources::kBitmapFirstKeyFace + 6}};
    for (const Key& key : keys) {
        key.button.LoadBitmaps(resources::LoadBitmap(key.firstBitmap),
                               resources::LoadBitmap(key.firstBitmap + 1));
        key.button.SizeToContent();
    }
}

void CScalePanelDlg::ClearDisplay() {
    // Green background, black elements, every slot cleared; painted when first shown.
    m_display.SetBackColor(0x0000FF00);
    m_display.SetForeColor1(0);
    m_display.SetWM(0);
    m_display.SetSign(0);
    m_display.SetUnit(0);
    m_display.SetHex1(0);
    m_display.SetHex2(0);
    m_display.SetHex3(0);
    m_display.SetHex4(0);
    m_display.SetHex5(0);
    m_display.SetHex6(0);
}

void CScalePanelDlg::SetFixedLineSettings() {
    m_nBaud = scale::kLine.baud;
    m_nPort = 1;
    m_cParity = scale::kLine.parity;
    m_nDataBits = scale::kLine.dataBits;
    m_nStopBits = scale::kLine.stopBits;
    m_dwEventMask = 3;
    m_probe.Forget();
}

void CScalePanelDlg::ScanForScale() {
    // The first port on which the scale answers stays open and watched.
    m_bScanning = true;
    m_nPort = scale_link::FirstPort(Ports(), 0, [this](int n) { return ProbePort(n) != -1; });
    m_bScanning = false;
    if (!m_scanFailures.Empty())
        ShowPortTips();
}

void CScalePanelDlg::ShowScanResult() {
    QString status;
    QString note;
    if (m_nPort != 0) {
        m_comboPort.setCurrentIndex(m_nPort - 1);
        ShowOpenState(true);
        status = OpenedText("STATUS:COM%d  OPENED,%d,%c,%d,%d");
    } else {
        m_comboPort.setCurrentIndex(0);
        ShowOpenState(false);
        status = QStringLiteral("STATUS:Not found serial port or serial occupied");
        note = QStringLiteral("No port answered Karvel's own probe (0x05 at 9600 8N1). %1")
                   .arg(OtherFamiliesHint());
    }
    m_staticStatus.Show(status, note);
    TellShownState(false);
}

void CScalePanelDlg::CloseIfLostInScan() {
    // The kept port's device went away while its probe waited.
    if (const int lost = std::exchange(m_nPortLostInScan, 0);
        lost != 0 && lost == m_nPort && !m_bClosed) {
        ShowLoss(QStringLiteral("%1 went away while it was probed; it is opened again when it "
                                "is back.")
                     .arg(PortName(lost)));
        m_follower.Lost(lost);
        m_serialPort.Close();
    }
}

void CScalePanelDlg::OpenStartPort(int port) {
    // As if the user had chosen the port while the panel showed Closed, then pressed OPEN; the
    // port is opened once.
    m_nPort = port;
    m_comboPort.setCurrentIndex(port - 1);
    ShowOpenState(false);
    OnOpenClose();
}

void CScalePanelDlg::ShowPortTips() {
    const std::vector<serial_port::PortInfo> present = Ports().List();
    for (int n = kFirstPort; n <= kLastPort && n <= m_comboPort.count(); ++n) {
        QString tip = DescribePort(n, present, PortName(n));
        if (const std::string reason = m_scanFailures.Reason(Ports(), n); !reason.empty())
            tip += QStringLiteral("\nAt start-up it could not be opened. ") +
                   QString::fromStdString(reason);
        m_comboPort.setItemData(n - 1, tip, Qt::ToolTipRole);
    }
}

void CScalePanelDlg::NoteScanFailure(int port) {
    m_scanFailures.Note(Ports(), port, m_serialPort.OpenError());
}

void CScalePanelDlg::OnDestroy() {
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    m_follower.Forget();
    m_familyLink.reset();
    m_wireSource.reset();
    // The display goes first; bytes still handled while Close waits reach an unattached wrapper.
    m_display.Detach();
    m_serialPort.Close();
}

void CScalePanelDlg::OnSysCommand(unsigned nID, window::LParam) {
    if ((nID & 0xFFF0) == kIdmAboutBox) {
        CAboutBox about(this);
        emit aboutBoxOpening();
        about.exec();
        return;
    }
    switch (nID & 0xFFF0) {
        case kScMinimize:
            showMinimized();
            break;
        case kScClose:
            close();
            break;
        default:
            break;
    }
}

void CScalePanelDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Each item shows its key, as a menu bar's would.
    for (QAction* action : m_systemMenu.actions())
        action->setShortcutVisibleInContextMenu(true);
    m_systemMenu.exec(event->globalPos());
}

void CScalePanelDlg::keyPressEvent(QKeyEvent* event) {
    // Enter belongs to a focused push button; otherwise it ends the panel like OK.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == 0) {
        if (focusWidget() == &m_btnOpenClose)
            m_btnOpenClose.click();
        else
            accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CScalePanelDlg::done(int result) {
    if (m_mayEnd && !m_mayEnd())
        return;
    QDialog::done(result);
}

window::LResult CScalePanelDlg::HandleMessage(window::MessageId id, window::WParam w,
                                              window::LParam l) {
    using Handler = window::LResult (CScalePanelDlg::*)(window::WParam, window::LParam);
    struct Entry {
        window::MessageId id;
        Handler handler;
    };
    static constexpr Entry kMessageMap[] = {
        {PN_BYTE, &CScalePanelDlg::OnPortByte},
        {PN_DEVICE_LOST, &CScalePanelDlg::OnDeviceLost},
        {kMsgShowFailure, &CScalePanelDlg::OnShowFailure},
    };
    for (const Entry& entry : kMessageMap) {
        if (entry.id == id)
            return (this->*entry.handler)(w, l);
    }
    return 0;
}

void CScalePanelDlg::ShowOpenState(bool open) {
    SetLamp(open ? m_hIconOpened : m_hIconClosed);
    m_btnOpenClose.setText(open ? QStringLiteral("CLOSE") : QStringLiteral("OPEN"));
    // The face names the action, not its object: a screen reader says which port it acts on.
    m_btnOpenClose.setAccessibleDescription(open ? QStringLiteral("Closes the open port")
                                                 : QStringLiteral("Opens the port the list shows"));
    m_bClosed = !open;
}

void CScalePanelDlg::SetLamp(const QIcon& icon) {
    m_staticLamp.setPixmap(icon.pixmap(32, 32));
    // Said instead of shown to whoever cannot see the lamp.
    m_staticLamp.setAccessibleName(icon.cacheKey() == m_hIconOpened.cacheKey()
                                       ? QStringLiteral("Port open")
                                       : QStringLiteral("Port closed"));
}

void CScalePanelDlg::CopyReading() {
    // The control is reached through automation only; what it shows it tells as accessible text.
    QAccessibleInterface* display =
        m_display.Widget() ? QAccessible::queryAccessibleInterface(m_display.Widget()) : nullptr;
    if (display != nullptr)
        QGuiApplication::clipboard()->setText(display->text(QAccessible::Value));
}

QString CScalePanelDlg::OpenedText(const char* format) const {
    QString text = QString::asprintf(format, m_nPort, m_nBaud, m_cParity, m_nDataBits, m_nStopBits);
    // A path the user named is called by that path, not by the number it was given.
    const QString com = QStringLiteral("COM%1").arg(m_nPort);
    const QString name = PortName(m_nPort);
    if (name != com)
        text.replace(text.indexOf(com), com.size(), name);
    return text;
}

QString CScalePanelDlg::PortName(int n) const {
    return QString::fromLocal8Bit(Ports().NameOf(static_cast<unsigned>(n)));
}
