#include "app/weighing/TicketPrinter.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "record/LogFile.h"

namespace {

constexpr double kLineMm = 6;
constexpr int kDotsPerInch = 300;
// A label's print: from the roll's size down to what a 300 dpi printer still prints legibly.
constexpr double kSmallestFontMm = 1.2;
constexpr double kLabelLinesPerFont = 1.25;
constexpr double kLabelMarginMm = 2;
// A destination's default media at most this wide is a label's or a narrow roll's; at most this
// long, a label's (4 x 6 in and a little more).
constexpr double kNarrowestOfficeMm = 108;
constexpr double kLongestLabelMm = 165;

// A job's options, freed with it.
struct JobOptions {
    int count = 0;
    cups_option_t* list = nullptr;

    JobOptions() = default;
    JobOptions(const JobOptions&) = delete;
    JobOptions& operator=(const JobOptions&) = delete;
    ~JobOptions() { cupsFreeOptions(count, list); }
    void Add(const char* name, const char* value) {
        count = cupsAddOption(name, value, count, &list);
    }
};

// cupsFreeDests for one destination, cupsFreeDestInfo.
struct DestFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
struct InfoFree {
    void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};

// A line too long for the width (a device's path) goes on below, broken at a space where one is
// near: nothing is cut off.
QStringList Wrap(const QStringList& lines, qsizetype perLine) {
    QStringList rows;
    for (QString rest : lines) {
        while (rest.size() > perLine) {
            qsizetype cut = rest.lastIndexOf(QLatin1Char(' '), perLine);
            cut = cut > perLine / 2 ? cut : perLine;
            rows << rest.left(cut);
            rest = rest.mid(cut).trimmed().prepend(QStringLiteral("  "));
        }
        rows << rest;
    }
    return rows;
}

qsizetype PerLine(const QFontMetricsF& metrics, double widthDots) {
    return static_cast<qsizetype>(
        std::max(8.0, widthDots / metrics.horizontalAdvance(QLatin1Char('M'))));
}

bool Render(const QStringList& lines, const TicketPage& page, const QString& path, QString* error) {
    QPdfWriter pdf(path);
    pdf.setResolution(kDotsPerInch);
    const double dotsPerMm = kDotsPerInch / 25.4;
    const double margin = page.marginMm * dotsPerMm;
    const double width = (page.widthMm - 2 * page.marginMm) * dotsPerMm;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(static_cast<int>(kLineMm * 0.5 * dotsPerMm));
    QStringList rows = Wrap(lines, PerLine(QFontMetricsF(font, &pdf), width));
    double line = kLineMm * dotsPerMm;
    double ascent = line * 0.75;
    double height = 2 * page.marginMm + kLineMm * static_cast<double>(rows.size());
    if (page.heightMm) {
        // A label: the largest print, no larger than a roll's, at which every row fits.
        height = *page.heightMm;
        const double room = (height - 2 * page.marginMm) * dotsPerMm;
        const int smallest = static_cast<int>(kSmallestFontMm * dotsPerMm);
        bool fits = false;
        for (int size = font.pixelSize(); size >= smallest && !fits; --size) {
            font.setPixelSize(size);
            const QFontMetricsF metrics(font, &pdf);
            rows = Wrap(lines, PerLine(metrics, width));
            line = std::max(metrics.height(), size * kLabelLinesPerFont);
            ascent = metrics.ascent();
            fits = line * static_cast<double>(rows.size()) <= room;
        }
        if (!fits) {
            *error = QStringLiteral("the ticket does not fit on a page of %1 x %2 mm")
                         .arg(page.widthMm)
                         .arg(height);
            return false;
        }
    }
    pdf.setPageSize(QPageSize(QSizeF(page.widthMm, height), QPageSize::Millimeter, QString(),
                              page.heightMm ? QPageSize::ExactMatch : QPageSize::FuzzyMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(lines.isEmpty() ? QString() : lines.front());
    pdf.setCreator(QStringLiteral("Karvel"));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    painter.setFont(font);
    for (qsizetype i = 0; i < rows.size(); ++i)
        painter.drawText(QPointF(margin, margin + line * static_cast<double>(i) + ascent), rows[i]);
    return painter.end();
}

// The destination's default media: the user's or the queue's choice, by its exact name among
// the media the destination lists (for the margins it prints within), else by what a PWG name
// says of its size (a queue without a media list still names its default). libcups 2.4's own
// lookups answer with a close size instead (measured: 102 x 76 mm for a 62 x 29 mm default), so
// they come last.
std::optional<cups_size_t> DefaultMedia(cups_dest_t* dest) {
    const std::unique_ptr<cups_dinfo_t, InfoFree> info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest));
    cups_size_t size{};
    const char* name = cupsGetOption("media", dest->num_options, dest->options);
    if (name == nullptr) {
        if (info && cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest, info.get(),
                                            CUPS_MEDIA_FLAGS_DEFAULT, &size))
            return size;
        return std::nullopt;
    }
    const int count =
        info ? cupsGetDestMediaCount(CUPS_HTTP_DEFAULT, dest, info.get(), CUPS_MEDIA_FLAGS_DEFAULT)
             : 0;
    for (int i = 0; i < count; ++i) {
        if (cupsGetDestMediaByIndex(CUPS_HTTP_DEFAULT, dest, info.get(), i,
                                    CUPS_MEDIA_FLAGS_DEFAULT, &size) &&
            std::string_view(size.media) == name)
            return size;
    }
    if (const pwg_media_t* pwg = pwgMediaForPWG(name)) {
        size = {};
        std::snprintf(size.media, sizeof size.media, "%s", name);
        size.width = pwg->width;
        size.length = pwg->length;
        return size;
    }
    return std::nullopt;
}

}  // namespace

TicketPage PageOf(const std::optional<record::TicketSize>& size) {
    TicketPage page;
    if (size) {
        page.widthMm = size->widthMm;
        page.heightMm = size->heightMm;
        page.marginMm = kLabelMarginMm;
    }
    return page;
}

TicketPage PrinterPage(const QString& printer, const std::optional<record::TicketSize>& size) {
    if (size)
        return PageOf(size);
    const QByteArray name = printer.toLocal8Bit();
    const std::unique_ptr<cups_dest_t, DestFree> dest(cupsGetNamedDest(
        CUPS_HTTP_DEFAULT, printer.isEmpty() ? nullptr : name.constData(), nullptr));
    const auto media = dest ? DefaultMedia(dest.get()) : std::nullopt;
    // Office paper keeps the ticket as it is; CUPS puts it on the sheet.
    if (!media || media->width <= 0 || media->length <= 0 ||
        media->width > kNarrowestOfficeMm * 100)
        return {};
    TicketPage page;
    page.widthMm = media->width / 100.0;
    page.media = QString::fromUtf8(media->media);
    if (media->length <= kLongestLabelMm * 100) {
        page.heightMm = media->length / 100.0;
        const int unprintable = std::max({media->left, media->right, media->top, media->bottom});
        page.marginMm = std::max(kLabelMarginMm, unprintable / 100.0);
    }
    return page;
}

bool WriteTicketPdf(const QStringList& lines, const TicketPage& page, const QString& path,
                    QString* error) {
    // Drawn beside, then put in place whole, as every file we replace.
    QTemporaryDir dir;
    const QString drawn = dir.filePath(QStringLiteral("ticket.pdf"));
    if (!dir.isValid() || !Render(lines, page, drawn, error)) {
        if (error->isEmpty())
            *error = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    QFile file(drawn);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::string why;
    if (!record::ReplaceWhole(QFile::encodeName(path).toStdString(),
                              std::string_view(bytes.constData(), bytes.size()), &why)) {
        *error = QString::fromLocal8Bit(why.c_str());
        return false;
    }
    return true;
}

namespace {

// `printer`'s destination (empty: the default one); none, with the reason in `error`.
std::unique_ptr<cups_dest_t, DestFree> Destination(const QString& printer, QString* error) {
    const QByteArray name = printer.toLocal8Bit();
    std::unique_ptr<cups_dest_t, DestFree> dest(cupsGetNamedDest(
        CUPS_HTTP_DEFAULT, printer.isEmpty() ? nullptr : name.constData(), nullptr));
    if (!dest)
        *error = printer.isEmpty()
                     ? QStringLiteral(
                           "no default printer: name one with --print-ticket=PRINTER "
                           "(%1)")
                           .arg(QString::fromLocal8Bit(cupsLastErrorString()))
                     : QStringLiteral("the printer %1 is not known to CUPS (%2)")
                           .arg(printer, QString::fromLocal8Bit(cupsLastErrorString()));
    return dest;
}

}  // namespace

QString UnknownPrinter(const QString& printer) {
    QString error;
    return Destination(printer, &error) ? QString() : error;
}

int PrintTicket(const QStringList& lines, const TicketPage& page, const QString& printer,
                QString* error, QString* warning) {
    const auto dest = Destination(printer, error);
    if (!dest)
        return 0;
    const QString queue = QString::fromLocal8Bit(dest->name);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("ticket.pdf"));
    if (!dir.isValid() || !Render(lines, page, pdf, error)) {
        if (error->isEmpty())
            *error = QStringLiteral("cannot make a temporary folder");
        return 0;
    }
    const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
    // IPP's printer-state 5: stopped. The job waits in the queue until it is started again.
    if (state && std::string_view(state) == "5")
        *warning =
            QStringLiteral("the printer %1 is stopped: the ticket waits in its queue").arg(queue);
    const QByteArray file = QFile::encodeName(pdf);
    const QByteArray title = (lines.isEmpty() ? QString() : lines.front()).toUtf8();
    // A driver that lays the page out on paper of its own (A4 at an office printer) would turn
    // a ticket wider than tall on its side: it stays upright, as it was laid out.
    JobOptions options;
    options.Add("orientation-requested", "3");
    options.Add("nopdfAutoRotate", "true");
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, dest->name, file.constData(),
                                   title.constData(), options.count, options.list);
    if (job == 0)
        *error = QStringLiteral("the printer %1 refused the ticket: %2")
                     .arg(queue, QString::fromLocal8Bit(cupsLastErrorString()));
    return job;
}
