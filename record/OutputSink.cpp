#include "record/OutputSink.h"

#include <utility>

namespace record {

OutputSink::OutputSink(Output& out, LineForm form, CsvColumns columns, CsvDialect dialect)
    : m_out(out), m_form(form), m_columns(std::move(columns)), m_dialect(dialect) {}

bool OutputSink::Take(const Captured& captured) {
    switch (m_form) {
        case LineForm::kJson:
            return m_out.Write(captured.Json() + "\n");
        case LineForm::kCsv:
            return m_out.Write(
                CsvRecord(captured.Reading(), m_columns, captured.ScaleId(), m_dialect));
        case LineForm::kText:
            return m_out.Write(TextLine(captured.Reading()) + "\n");
    }
    return true;
}

}  // namespace record
