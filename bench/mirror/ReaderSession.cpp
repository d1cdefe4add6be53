#include "bench/mirror/ReaderSession.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace mirror {

namespace {

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Resident memory of this process in kB; 0 when it cannot be read.
std::int64_t ResidentKb() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr)
        return 0;
    long size = 0;
    long resident = 0;
    const bool read = std::fscanf(statm, "%ld %ld", &size, &resident) == 2;
    std::fclose(statm);
    return read ? resident * (::sysconf(_SC_PAGESIZE) / 1024) : 0;
}

rusage Usage() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage;
}

}  // namespace

std::optional<std::uint8_t> TagShownBy(QWidget* display) {
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(display);
    QAccessibleValueInterface* value = shown ? shown->valueInterface() : nullptr;
    bool ok = false;
    const double grams = value ? value->currentValue().toDouble(&ok) : 0;
    if (!ok || grams < 0 || grams > 255 || grams != static_cast<int>(grams))
        return std::nullopt;
    return static_cast<std::uint8_t>(grams);
}

ReaderSession::ReaderSession(QWidget* display) {
    // A stream of 80 frames/s for minutes: keep the marks from growing the heap while measured.
    m_report.paints.reserve(1 << 16);
    display->installEventFilter(this);
}

bool ReaderSession::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint || m_inPaint)
        return QObject::eventFilter(watched, event);
    // The paint runs here, inside the filter, so that its end can be noted. event() is public on
    // QObject and dispatches to the widget's own handler.
    m_inPaint = true;
    watched->event(event);
    m_inPaint = false;
    const std::int64_t end = NowNs();
    std::optional<std::uint8_t> tag = m_tag;
    if (m_shownTag)
        tag = m_shownTag();
    if (m_anyFrame && tag && m_report.paints.size() < m_report.paints.capacity())
        m_report.paints.push_back(PaintMark{*tag, end});
    return true;
}

int ReaderSession::Run() {
    QEventLoop loop;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &loop, [&] {
        input.setEnabled(false);
        loop.quit();
    });
    // The windows shown before this are exposed and painted once, their backing stores made:
    // that memory is not the stream's.
    QCoreApplication::processEvents();
    std::printf("ready\n");
    std::fflush(stdout);

    const std::int64_t residentBefore = ResidentKb();
    const rusage usageBefore = Usage();
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    loop.exec();
    const double cpu = CpuSeconds() - cpuBefore;
    const auto end = std::chrono::steady_clock::now();
    const rusage usageAfter = Usage();

    m_report.cpuSeconds = cpu;
    m_report.wallSeconds = std::chrono::duration<double>(end - start).count();
    m_report.voluntarySwitches =
        static_cast<std::uint64_t>(usageAfter.ru_nvcsw - usageBefore.ru_nvcsw);
    m_report.involuntarySwitches =
        static_cast<std::uint64_t>(usageAfter.ru_nivcsw - usageBefore.ru_nivcsw);
    // Before the count, whose reading of every row's text is the benchmark's own.
    m_report.residentGrowthKb = ResidentKb() - residentBefore;
    m_report.frames = m_count ? m_count() : m_frames;
    std::fputs(FormatReport(m_report).c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace mirror
