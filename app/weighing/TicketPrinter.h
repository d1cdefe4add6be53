#pragma once

// Puts a ticket's lines on a page: a PDF file (the preview, or what goes to the printer) and a
// CUPS queue (the named destination, or the default one). A queue that is missing, stopped or
// refuses the job is said in `error`; a stopped queue still holds the job.
//
// Thread: UI thread only (QPdfWriter needs the application's fonts).

#include <QString>
#include <QStringList>

// Writes `lines` as one page of a ticket (80 mm wide) to `path`, replacing it whole. False with
// the reason in `error`.
bool WriteTicketPdf(const QStringList& lines, const QString& path, QString* error);

// Prints `lines` on `printer` (empty: CUPS's default destination). The job's id, or 0 with the
// reason in `error`; a job queued on a stopped printer has its id and `warning` says so.
int PrintTicket(const QStringList& lines, const QString& printer, QString* error, QString* warning);
