#pragma once

// Puts a ticket's lines on a page: a PDF file (the preview, or what goes to the printer) and a
// CUPS queue (the named destination, or the default one). A queue that is missing, stopped or
// refuses the job is said in `error`; a stopped queue still holds the job.
//
// Thread: UI thread only (QPdfWriter needs the application's fonts).

#include <QString>
#include <QStringList>

#include <optional>

#include "record/Ticket.h"

// The page a ticket is laid out on. A label's page has its height, and the lines are made small
// enough to fit it whole; a roll's page is as long as the lines need.
struct TicketPage {
    double widthMm = 80;
    std::optional<double> heightMm;  // none: a roll's
    double marginMm = 5;
    QString media;  // where the size came from: the destination's media, or empty

    bool operator==(const TicketPage&) const = default;
};

// `size` (--ticket-size) when given, else the 80 mm ticket.
TicketPage PageOf(const std::optional<record::TicketSize>& size);

// `size` when given; else the default media of `printer` (empty: CUPS's default destination)
// when it is a label's or a narrow roll's (at most 108 mm wide); else the 80 mm ticket.
TicketPage PrinterPage(const QString& printer, const std::optional<record::TicketSize>& size);

// Writes `lines` as one page of a ticket to `path`, replacing it whole. False with the reason in
// `error`, also when the lines do not fit on a label even at the smallest print.
bool WriteTicketPdf(const QStringList& lines, const TicketPage& page, const QString& path,
                    QString* error);

// Why `printer` (empty: CUPS's default destination) cannot take a ticket at all; empty when it
// is known. Asked before a ticket is given its number.
QString UnknownPrinter(const QString& printer);

// Prints `lines` on `printer` (empty: CUPS's default destination). The job's id, or 0 with the
// reason in `error`; a job queued on a stopped printer has its id and `warning` says so.
int PrintTicket(const QStringList& lines, const TicketPage& page, const QString& printer,
                QString* error, QString* warning);
