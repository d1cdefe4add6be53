#include "link/PortWatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace scale_link {
namespace {

using Clock = std::chrono::steady_clock;

// A plugged adapter sends a few events at once; they are gathered for this long.
constexpr auto kSettle = std::chrono::milliseconds(20);
// Looks follow one another no sooner than this, nor sooner than this many times what the last
// one cost: a storm of events costs a small share of a core, a single replug is seen at once.
constexpr auto kMinSpacing = std::chrono::milliseconds(250);
constexpr int kCostFactor = 20;

}  // namespace

PortWatcher::PortWatcher(serial_port::PortMap& ports, Sources sources, QObject* parent)
    : QObject(parent), m_ports(ports), m_sources(std::move(sources)) {
    if (!m_sources.openEvents)
        m_sources.openEvents = [] { return serial_port::OpenUdevMonitor(); };
    if (!m_sources.enumerate)
        m_sources.enumerate = serial_port::FindSerialDevices;
    m_lookTimer.setSingleShot(true);
    connect(&m_lookTimer, &QTimer::timeout, this, &PortWatcher::StartLook);
}

PortWatcher::~PortWatcher() {
    if (m_look.joinable())
        m_look.join();
    if (m_following)
        m_ports.StopFollowing();
}

void PortWatcher::Start() {
    m_folderPath = QFile::decodeName(QByteArray::fromStdString(m_ports.Folder()));
    const bool portFolder = !m_folderPath.isEmpty();
    if (portFolder) {
        m_folderPath = QDir::cleanPath(QFileInfo(m_folderPath).absoluteFilePath());
        WatchFolder();
        connect(&m_folder, &QFileSystemWatcher::directoryChanged, this,
                &PortWatcher::OnFolderChanged);
    }
    // A link in the folder may lead to a device that comes back, so device events count there
    // too.
    m_events = m_sources.openEvents();
    if (!m_events)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_events->Descriptor(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PortWatcher::OnDeviceEvents);
    // Without events a table would not follow the devices; then each look enumerates anew.
    if (!portFolder) {
        m_ports.FollowDevices(m_sources.enumerate);
        m_following = true;
    }
}

void PortWatcher::OnDeviceEvents() {
    if (m_events->TakeEvents().empty())
        return;
    m_changed = true;
    PlanLook();
}

void PortWatcher::PlanLook() {
    // A look that runs or is planned sees this change, or OnLookDone plans the next.
    if (m_look.joinable() || m_lookTimer.isActive())
        return;
    const Clock::duration spacing =
        std::max<Clock::duration>(kMinSpacing, kCostFactor * m_lastLookCost);
    const Clock::duration wait =
        std::max<Clock::duration>(kSettle, m_lastLookEnd + spacing - Clock::now());
    m_lookTimer.start(std::chrono::ceil<std::chrono::milliseconds>(wait));
}

void PortWatcher::StartLook() {
    m_changed = false;
    if (!m_following) {
        // The folder is looked at as it is when asked.
        m_lastLookEnd = Clock::now();
        emit portsChanged();
        return;
    }
    m_look = std::thread([this] {
        const Clock::time_point start = Clock::now();
        m_ports.RefreshDevices();
        m_lastLookCost = Clock::now() - start;
        QMetaObject::invokeMethod(this, &PortWatcher::OnLookDone, Qt::QueuedConnection);
    });
}

void PortWatcher::OnLookDone() {
    m_look.join();
    m_lastLookEnd = Clock::now();
    emit portsChanged();
    if (m_changed)
        PlanLook();
}

void PortWatcher::OnFolderChanged(const QString& path) {
    // A change above the folder matters only when the folder came back.
    const bool back = WatchFolder();
    if (back)
        emit folderMadeAgain();
    if (back || path == m_folderPath)
        emit portsChanged();
}

bool PortWatcher::WatchFolder() {
    bool taken = false;
    // A removed folder has left the watcher by itself.
    if (!m_folder.directories().contains(m_folderPath) && QFileInfo(m_folderPath).isDir())
        taken = m_folder.addPath(m_folderPath);
    QString above = QFileInfo(m_folderPath).absolutePath();
    while (!QFileInfo(above).isDir() && above != QDir::rootPath())
        above = QFileInfo(above).absolutePath();
    if (above != m_above || !m_folder.directories().contains(above)) {
        if (!m_above.isEmpty())
            m_folder.removePath(m_above);
        m_above = above;
        m_folder.addPath(m_above);
    }
    return taken;
}

}  // namespace scale_link
