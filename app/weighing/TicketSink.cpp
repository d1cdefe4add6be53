#include "app/weighing/TicketSink.h"

#include <QStringList>

#include "app/weighing/TicketPrinter.h"
#include "record/Ticket.h"

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TicketSink::TicketSink(Setup setup) : m_setup(std::move(setup)) {}

bool TicketSink::Take(const record::Captured& captured) {
    if (m_setup.options.Tickets())
        Print(captured.Reading(), false, captured.Record());
    return true;
}

void TicketSink::Print(const record::CapturedReading& reading, bool asked,
                       std::optional<std::uint64_t> seq) {
    const record::WeighingOptions& options = m_setup.options;
    const bool print = options.printTicket || (asked && options.preview.empty());
    const std::string id = m_setup.scaleId();
    // A number goes only to a ticket that goes somewhere.
    if (print && options.preview.empty()) {
        if (const QString unknown = UnknownPrinter(Q(options.printer)); !unknown.isEmpty()) {
            m_setup.say(tr("No ticket: %1").arg(unknown));
            return;
        }
    }
    std::string error;
    const auto number = seq ? seq : record::NextTicketNumber(m_setup.stateFolder, id, &error);
    if (!number) {
        m_setup.say(tr("No ticket: the ticket number cannot be kept: %1").arg(Q(error)));
        return;
    }
    record::TicketFacts facts;
    facts.header = options.ticketHeader;
    facts.number = *number;
    facts.scaleId = id;
    facts.check = m_setup.rules && m_setup.rules->check ? &*m_setup.rules->check : nullptr;
    QStringList lines;
    for (const std::string& line : record::TicketLines(reading, facts))
        lines << Q(line);
    QString problem;
    // The preview is the page the printer gets.
    const TicketPage page =
        print ? PrinterPage(Q(options.printer), options.ticketSize) : PageOf(options.ticketSize);
    if (!options.preview.empty() && !WriteTicketPdf(lines, page, Q(options.preview), &problem))
        m_setup.say(tr("Ticket %1 not written: %2").arg(*number).arg(problem));
    if (print) {
        QString warning;
        if (PrintTicket(lines, page, Q(options.printer), &problem, &warning) == 0)
            m_setup.say(tr("Ticket %1 not printed: %2").arg(*number).arg(problem));
        else if (!warning.isEmpty())
            m_setup.say(tr("Ticket %1: %2").arg(*number).arg(warning));
    }
}
