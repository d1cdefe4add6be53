#include "record/OutputSink.h"

#include <utility>

namespace record {

void AppendCell(std::string* line, std::string_view cell, CsvDialect dialect) {
    line->insert(line->size() - 2, std::string(1, dialect.Separator()).append(cell));
}

OutputSink::OutputSink(Output& out, LineForm form, CsvColumns columns, CsvDialect dialect)
    : m_out(out), m_form(form), m_columns(std::move(columns)), m_dialect(dialect) {}

bool OutputSink::Take(const Captured& captured) {
    switch (m_form) {
        case LineForm::kJson:
            return m_out.Write(captured.Json() + "\n");
        case LineForm::kCsv: {
            std::string line =
                CsvRecord(captured.Reading(), m_columns, captured.ScaleId(), m_dialect);
            if (captured.Record())
                AppendCell(&line, std::to_string(*captured.Record()), m_dialect);
            return m_out.Write(line);
        }
        case LineForm::kText:
            return m_out.Write(TextLine(captured.Reading()) + "\n");
    }
    return true;
}

}  // namespace record
