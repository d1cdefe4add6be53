#pragma once

// The main panel: mirrors the scale's display, sends its keys, and lets the user choose, open
// and close the serial port. The program's only window.
//
// Thread: everything here runs on the UI thread; the serial engine's watch thread reaches the
// panel only through synchronous messages (HandleMessage).

#include <QComboBox>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/CKeyButton.h"
#include "app/CLumeq.h"
#include "app/CPortList.h"
#include "app/CStatusLine.h"
#include "app/MessagePresenter.h"
#include "app/readout/CReadingAccess.h"
#include "app/readout/RefreshPacer.h"
#include "link/DeviceFollower.h"
#include "link/FamilyLink.h"
#include "link/OpenAdvice.h"
#include "link/OwnWire.h"
#include "link/PortWatcher.h"
#include "link/Reconnect.h"
#include "link/WireOptions.h"
#include "platform/hid/HidrawDevices.h"
#include "platform/window/Messages.h"
#include "scale/FrameObserver.h"
#include "scale/FrameWindow.h"
#include "scale/families/Shown.h"
#include "serial/CSerialLink.h"

// What the panel uses from outside that tests replace.
struct PanelServices {
    CLumeq::Creator createControl;           // default: component::CreateInstance
    MessagePresenter presenter;              // default: ShowMessageBox
    scale_link::PortWatcher::Sources watch;  // default: udev's device events and enumeration
    // Which device each COM number stands for; default: the machine's devices.
    std::shared_ptr<serial_port::PortMap> ports;
    // The last 12 bytes received: the program's one window (the application object's), never
    // cleared by the panel. Default: one of the panel's own.
    std::shared_ptr<scale::FrameWindow> receiveWindow;
    hid::HidrawRoots hid;  // where the raw HID devices are; default: /sys and /dev
};

class CScalePanelDlg : public QDialog, public window::MessageOwner {
    Q_OBJECT
  public:
    explicit CScalePanelDlg(PanelServices services = {});
    ~CScalePanelDlg() override;

    // Creates the display control, initialises the panel (which scans for the scale), runs it
    // modally and tears it down. -1 when the display control could not be created (its result
    // goes to `displayResult`); then no serial port was touched.
    int DoModal(component::Result* displayResult = nullptr);

    // Instead of the scan, OnInitDialog opens and watches this one port (COMn or a device path)
    // as a list choice followed by OPEN would. Set before DoModal.
    // The title names it, so that two panels can be told apart.
    void SetStartPort(const QString& name);
    // Instead of the scan, OnInitDialog looks for a scale of this family (or of any, auto) on
    // the start port or COM1..COM32; its readings go to the display and the observers as
    // frames do. Set before DoModal.
    void SetFamily(scale_link::FamilyLink::Choice choice);
    // Instead of the scan, OnInitDialog reads the scale on this wire of its own (a Modbus port,
    // a USB HID scale) through its Source; its readings go to the display and the observers as
    // a family's do. Set before DoModal.
    void SetOwnWire(scale_link::OwnWire wire);
    // Whatever the panel reads now goes, and `choice` (a port the user typed, checked) is read
    // as if the panel had been started with it.
    void OpenTypedPort(const scale_link::PortChoice& choice);
    // The context menu's "Port...": asks for a port and opens it.
    void AskForPort();

    // Creation steps, in the order DoModal runs them.
    component::Result CreateDisplayControl();
    bool OnInitDialog();
    void OnDestroy();

    void OnSysCommand(unsigned nID, window::LParam lParam);
    // Ctrl+C: the display's reading as text on the clipboard.
    void CopyReading();
    window::LResult HandleMessage(window::MessageId id, window::WParam w,
                                  window::LParam l) override;

    // Scale link.
    window::LResult OnPortByte(window::WParam wParam, window::LParam lParam);
    int ProbePort(int nPort);
    void OnKeyDataClick();
    void OnKeyDataDblClk();
    void OnKeyModeClick();
    void OnKeyModeDblClk();
    void OnKeyTareClick();
    void OnKeyTareDblClk();
    void OnKeyOnOffClick();
    void OnKeyOnOffDblClk();

    // Port controls.
    void OnPortSelEndOk();
    void OnOpenClose();
    window::LResult OnDeviceLost(window::WParam wParam, window::LParam lParam);

    // The serial engine's failure reporter. Any thread: the box is shown modally on the UI thread
    // and the call returns when it has been dismissed.
    void ReportEngineFailure(const std::string& caption, const std::string& text);

    // Read-only views of the panel's state, for tests and tools.
    int Port() const { return m_nPort; }
    bool IsShownClosed() const { return m_bClosed; }
    bool AckReceived() const { return m_probe.Answered(); }
    const CSerialLink& SerialPort() const { return m_serialPort; }
    QComboBox& PortList() { return m_comboPort; }
    QPushButton& OpenCloseButton() { return m_btnOpenClose; }
    CStatusLine& StatusLine() { return m_staticStatus; }
    QLabel& Lamp() { return m_staticLamp; }
    CLumeq& DisplayControl() { return m_display; }
    serial_port::PortMap& Ports() const { return *m_services.ports; }
    CKeyButton* KeyButton(int controlId);
    QMenu& SystemMenu() { return m_systemMenu; }
    CReadingAccess& ReadingAccess() { return *m_readingAccess; }
    // Beside the display: a family's unit that no label shows.
    QLabel& OtherUnit() { return m_staticOtherUnit; }
    const scale_link::FamilyLink* FamilyLink() const { return m_familyLink.get(); }
    // The Source of a wire of its own while the panel reads one.
    const scale_link::Source* WireSource() const { return m_wireSource.get(); }
    // The context menu's "Zero" of a wire that has one (hidden otherwise).
    QAction* ZeroItem() const { return m_zeroItem; }
    // The port shown as observers are told of it: its device is the one opened last, by the
    // engine or by a family's link.
    scale::PortState PortStateOf(scale::PortState::Change change) const;

    // Observers see each complete frame after the display has shown it, and each change of the
    // port shown open (see scale/FrameObserver.h). Not owned; UI thread only.
    void AttachObserver(scale::FrameObserver* observer) { m_observers.Attach(observer); }
    void DetachObserver(scale::FrameObserver* observer) { m_observers.Detach(observer); }

    // Asked before the panel ends by Enter, Esc or the close box; false keeps it open. None (the
    // default) asks nothing. UI thread only.
    void SetEndCheck(std::function<bool()> mayEnd) { m_mayEnd = std::move(mayEnd); }
    void done(int result) override;
    const MessagePresenter& Presenter() const { return m_services.presenter; }

  signals:
    // The About box is about to be shown (modally).
    void aboutBoxOpening();
    // A key went to the scale: its byte, as the described engine sends it.
    void keySent(std::uint8_t byte);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void LayOutFromTemplate();
    void PlaceOtherUnit();
    void ChainTabStops();
    void FocusFirstTabStop();
    void NameKeys();
    void ConnectControls();
    QAction* AddSystemMenuItem(unsigned nID, const QString& text);
    // OnInitDialog's steps, in the order it takes them.
    void StartPortWatcher();
    void FillPortList();
    void AddAboutItem();
    void LoadKeyFaces();
    void ClearDisplay();
    void SetFixedLineSettings();
    void ScanForScale();
    void ShowScanResult();
    void CloseIfLostInScan();
    void SetLamp(const QIcon& icon);
    // The lamp, the OPEN/CLOSE button's text and m_bClosed, all saying whether the port is open.
    void ShowOpenState(bool open);
    void SendKey(std::uint8_t byte);
    void TellFrame(const scale::FrameBytes& bytes);
    void TellPortState(scale::PortState::Change change);
    // After a port handler: opened when the panel shows a port open, closed when it showed one.
    void TellShownState(bool wasOpen);
    bool OpenChosenPort();
    void ShowOpenFailure();
    window::LResult OnShowFailure(window::WParam wParam, window::LParam lParam);
    // "COM Port Closed", with `why` a hover away.
    void ShowLoss(const QString& why);
    void CloseLostPort();
    // After a device loss, while the user has done nothing since: the same device is opened
    // and watched again when it comes back.
    void OnPortsChanged();
    void TryReconnect();
    scale_link::Reconnect::Hooks ReconnectHooks();
    QString OpenedText(const char* format) const;
    // How a scale that does not answer the probe is found.
    static QString OtherFamiliesHint();
    // What the user calls COM`n` (PortMap::NameOf).
    QString PortName(int n) const;
    void OpenStartPort(int port);
    // Each list item's tooltip: the device behind its number, and why the scan could not open
    // it while that device is still there.
    void ShowPortTips();
    void NoteScanFailure(int port);
    // The family link's side (CScalePanelDlgFamily.cpp).
    void StartFamily(int onlyPort);
    void FamilyFound(int onlyPort, bool wasOpen, const posix::Result<int>& port);
    // Under DoModal: the window says it is looking, and the detection begins once that is on
    // the screen; the window stays live while it looks.
    void StartFamilyOncePainted(int onlyPort);
    void OnFamilyReading(const scale::Frame& frame);
    // The newest reading of a family on the display and beside it.
    void DrawFamilyReading();
    void ShowFamilyOpened(int port);
    void OnFamilyPortState(const scale::PortState& state);
    void OnFamilyOpenClose();
    void ShowFamilyKeys();
    void ShowLooking();
    // What the link said since the status last changed, as the note of the next one.
    QString TakeFamilySaid();
    // "Scale family": any family, or one, in place of the port's kind until the panel ends.
    void AddFamilyMenu();
    void CheckFamilyItem();
    void ChooseFamily(const scale::families::Family* family);
    void SendFamilyKey(std::uint8_t byte);
    void SayFromLink(const std::string& message);
    // A family's or a wire's reading on the display, then to the observers.
    void ShowLinkReading(const scale::Frame& frame);
    // The wire's side (CScalePanelDlgWire.cpp).
    void AddPortItems();
    void StartWire();
    void WireFound(bool wasOpen, const posix::Result<int>& found);
    void ShowWireOpened();
    QString OwnWireNote() const;
    void ShowPortChoice();
    void OnWirePortState(const scale::PortState& state);
    void OnWireOpenClose();
    void ShowWireKeys();
    void SendWireKey(std::uint8_t byte);
    // Whatever reads now (the engine, a family's link, a wire's Source) goes; the panel shows
    // closed.
    void DropPort();

    // Every port open asks the engine for a send buffer of this many bytes.
    static constexpr unsigned kSendBufferSize = 512;
    // Carries an engine failure from the watch thread to the UI thread.
    static constexpr window::MessageId kMsgShowFailure = window::kUserMessage + 100;

    // Outlive everything below: the engine may report through them until it is destroyed.
    PanelServices m_services;
    QMenu m_systemMenu;
    QRect m_displayRect;
    bool m_bScanning = false;
    int m_nPortLostInScan = 0;       // a probed port whose device went away during the scan
    bool m_bCloseAfterLoss = false;  // the lost port is still to be closed
    int m_nFailureBoxes = 0;         // engine failure boxes being shown
    // Closes the boxes that report a loss when the device is back: nobody has to click first.
    BoxCloser m_lossBoxCloser;
    // The device behind the port opened last (by the engine or a family's link), and the one the
    // engine lost while the panel showed it open; the policy that opens that one again.
    scale_link::DeviceFollower m_follower;
    scale_link::Reconnect m_reconnect{m_follower, ReconnectHooks()};
    // Has the port map follow the devices while the panel lives.
    std::unique_ptr<scale_link::PortWatcher> m_portWatcher;
    bool m_bDestroyed = false;
    QString m_startPort;
    scale_link::ScanFailures m_scanFailures{"Karvel"};

    CSerialLink m_serialPort;
    int m_nStopBits = 0;
    int m_nDataBits = 0;
    char m_cParity = 0;
    int m_nBaud = 0;
    int m_nPort = 0;
    bool m_bClosed = true;
    // The receive window is the program's own (PanelServices), never cleared: bytes of an
    // earlier port, opening or panel stay in it.
    scale::ProbeAnswer m_probe;
    scale::FrameObservers m_observers;
    QIcon m_hIconClosed;
    QIcon m_hIconOpened;
    CPortList m_comboPort;
    QLabel m_staticLamp;
    QPushButton m_btnOpenClose;
    CStatusLine m_staticStatus;
    CLumeq m_display;
    std::uint32_t m_dwEventMask = 0;
    QIcon m_hIcon;
    CKeyButton m_btnKeyOnOff;
    CKeyButton m_btnKeyTare;
    CKeyButton m_btnKeyMode;
    CKeyButton m_btnKeyData;
    // Copy, the large readout and the closed port's note; an observer of the frames above.
    std::unique_ptr<CReadingAccess> m_readingAccess;
    std::optional<scale_link::FamilyLink::Choice> m_familyChoice;
    std::unique_ptr<scale_link::FamilyLink> m_familyLink;
    bool m_bDetectOncePainted = false;  // set by DoModal
    std::optional<int> m_familyDue;     // a detection's start port, due once painted
    bool m_bFamilyPosted = false;       // that detection is on its way
    QStringList m_familySaid;
    QMenu* m_familyMenu = nullptr;  // owned by the system menu
    QLabel m_staticOtherUnit;
    std::optional<scale_link::OwnWire> m_ownWire;
    std::unique_ptr<scale_link::Source> m_wireSource;
    bool m_bFamilyForWire = false;  // the family choice is only the network wire's
    QAction* m_zeroItem = nullptr;  // owned by the system menu
    // A family may send more readings than the screen shows: the newest is drawn once per refresh.
    scale::families::Shown m_familyShown;
    RefreshPacer m_familyPacer{*this, [this] { DrawFamilyReading(); }};
    std::function<bool()> m_mayEnd;
};
