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
#include <memory>
#include <string>

#include "record/LogFile.h"

namespace {

constexpr double kPageWidthMm = 80;
constexpr double kLineMm = 6;
constexpr double kMarginMm = 5;
constexpr int kDotsPerInch = 300;

// cupsFreeDests for one destination.
struct DestFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};

bool Render(const QStringList& lines, const QString& path, QString* error) {
    QPdfWriter pdf(path);
    pdf.setResolution(kDotsPerInch);
    const double dotsPerMm = kDotsPerInch / 25.4;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(static_cast<int>(kLineMm * 0.5 * dotsPerMm));
    // A line too long for the width (a device's path) goes on below, broken at a space where one
    // is near: nothing is cut off.
    const QFontMetricsF metrics(font, &pdf);
    const double width = (kPageWidthMm - 2 * kMarginMm) * dotsPerMm;
    const auto perLine =
        static_cast<qsizetype>(std::max(8.0, width / metrics.horizontalAdvance(QLatin1Char('M'))));
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
    pdf.setPageSize(
        QPageSize(QSizeF(kPageWidthMm, 2 * kMarginMm + kLineMm * static_cast<double>(rows.size())),
                  QPageSize::Millimeter));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(lines.isEmpty() ? QString() : lines.front());
    pdf.setCreator(QStringLiteral("Karvel"));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    painter.setFont(font);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const double baseline = (kMarginMm + kLineMm * (static_cast<double>(i) + 0.75)) * dotsPerMm;
        painter.drawText(QPointF(kMarginMm * dotsPerMm, baseline), rows[i]);
    }
    return painter.end();
}

}  // namespace

bool WriteTicketPdf(const QStringList& lines, const QString& path, QString* error) {
    // Drawn beside, then put in place whole, as every file we replace.
    QTemporaryDir dir;
    const QString drawn = dir.filePath(QStringLiteral("ticket.pdf"));
    if (!dir.isValid() || !Render(lines, drawn, error)) {
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

int PrintTicket(const QStringList& lines, const QString& printer, QString* error,
                QString* warning) {
    const QByteArray name = printer.toLocal8Bit();
    const std::unique_ptr<cups_dest_t, DestFree> dest(cupsGetNamedDest(
        CUPS_HTTP_DEFAULT, printer.isEmpty() ? nullptr : name.constData(), nullptr));
    if (!dest) {
        *error = printer.isEmpty()
                     ? QStringLiteral(
                           "no default printer: name one with --print-ticket=PRINTER "
                           "(%1)")
                           .arg(QString::fromLocal8Bit(cupsLastErrorString()))
                     : QStringLiteral("the printer %1 is not known to CUPS (%2)")
                           .arg(printer, QString::fromLocal8Bit(cupsLastErrorString()));
        return 0;
    }
    const QString queue = QString::fromLocal8Bit(dest->name);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("ticket.pdf"));
    if (!dir.isValid() || !Render(lines, pdf, error)) {
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
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, dest->name, file.constData(),
                                   title.constData(), 0, nullptr);
    if (job == 0)
        *error = QStringLiteral("the printer %1 refused the ticket: %2")
                     .arg(queue, QString::fromLocal8Bit(cupsLastErrorString()));
    return job;
}
