#pragma once

// Writes captured readings to the --log file as CSV records. The data reach the disk at least
// once a second while records are being written; records the file refuses (a full disk) are
// kept and tried again each second. A failure is said once, on standard error and through
// `problemChanged`, and so is its end; what no problem keeps (its end, a reopening that
// failed) also through `said`. The panel's log sink: a weighing the record kept (--record) ends
// with its seq, in the column the header calls `record`.
//
// Thread: UI thread only.

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include "record/Capture.h"
#include "record/Forms.h"
#include "record/LogFile.h"
#include "record/Sink.h"

class LogWriter : public QObject, public record::ReadingSink {
    Q_OBJECT
  public:
    explicit LogWriter(std::unique_ptr<record::LogFile> file, record::CsvDialect dialect = {},
                       record::CsvColumns columns = record::DefaultCsvColumns());
    ~LogWriter() override;

    // A row without a record's seq.
    void Write(const record::CapturedReading& reading);
    bool Take(const record::Captured& captured) override;
    // Opens the file by its name again (after a rotation).
    void Reopen();
    // Empty while the log is written as it should be.
    const QString& Problem() const { return m_problem; }

  signals:
    void problemChanged(const QString& problem);
    // A line said on standard error that `problemChanged` does not carry, without "Karvel ".
    void said(const QString& line);

  private:
    void OnTick();
    void Check(bool ok);
    void Say(const QString& problem);
    void SayLine(const QString& line);

    std::unique_ptr<record::LogFile> m_file;
    record::CsvDialect m_dialect;
    record::CsvColumns m_columns;
    QTimer m_tick;
    QString m_problem;
};
