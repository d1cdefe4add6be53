#include "app/readings/LogWriter.h"

#include <cstdio>

#include "record/Forms.h"
#include "record/OutputSink.h"

namespace {

constexpr int kTickMs = 1000;

QString Text(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

LogWriter::LogWriter(std::unique_ptr<record::LogFile> file, record::CsvDialect dialect,
                     record::CsvColumns columns)
    : m_file(std::move(file)), m_dialect(dialect), m_columns(std::move(columns)) {
    m_tick.setSingleShot(true);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &LogWriter::OnTick);
    Check(!m_file->HasPending());
}

LogWriter::~LogWriter() = default;

void LogWriter::Write(const record::CapturedReading& reading) {
    Check(m_file->Append(record::CsvRecord(reading, m_columns, {}, m_dialect)));
}

bool LogWriter::Take(const record::Captured& captured) {
    std::string line = record::CsvRecord(captured.Reading(), m_columns, {}, m_dialect);
    // Only a log begun with the record's column gets here with a seq (--record).
    if (captured.Record())
        record::AppendCell(&line, std::to_string(*captured.Record()), m_dialect);
    Check(m_file->Append(line));
    return true;
}

void LogWriter::Reopen() {
    std::string error;
    if (!m_file->Reopen(&error)) {
        SayLine(QStringLiteral("--log: cannot reopen the log: %1; still writing to the file "
                               "opened before.")
                    .arg(Text(error)));
        return;
    }
    Check(!m_file->HasPending());
}

void LogWriter::OnTick() {
    Check(m_file->Retry() && m_file->Sync());
}

// Keeps the tick running while anything waits for the disk, and says when writing fails or
// works again. No tick while nothing is written: an idle panel does not wake for the log.
void LogWriter::Check(bool ok) {
    if (ok) {
        Say(QString());
    } else {
        QString problem = QStringLiteral(
                              "Karvel --log: cannot write to %1 (%2); the readings are "
                              "kept and written when it takes them again.")
                              .arg(Text(m_file->Path()), Text(m_file->LastError()));
        if (m_file->Dropped() > 0)
            problem += QStringLiteral(" %1 readings were dropped.").arg(m_file->Dropped());
        // A changed count or reason is not a new failure: said once until writing works.
        if (m_problem.isEmpty())
            Say(problem);
    }
    if ((m_file->HasPending() || m_file->NeedsSync()) && !m_tick.isActive())
        m_tick.start();
}

void LogWriter::Say(const QString& problem) {
    if (problem == m_problem)
        return;
    m_problem = problem;
    if (problem.isEmpty())
        SayLine(QStringLiteral("--log: writing to %1 again.").arg(Text(m_file->Path())));
    else
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
    emit problemChanged(m_problem);
}

void LogWriter::SayLine(const QString& line) {
    std::fprintf(stderr, "Karvel %s\n", line.toLocal8Bit().constData());
    emit said(line);
}
