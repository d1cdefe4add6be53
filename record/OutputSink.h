#pragma once

// Readings as lines on an output: JSON Lines, CSV or plain text.

#include <string>
#include <string_view>

#include "record/Forms.h"
#include "record/Output.h"
#include "record/Sink.h"

namespace record {

enum class LineForm { kJson, kCsv, kText };

// One more cell at the end of a CSV line that ends with CRLF: the record column of the header and
// of each record while a record keeps the readings.
void AppendCell(std::string* line, std::string_view cell, CsvDialect dialect);

class OutputSink : public ReadingSink {
  public:
    // `out` outlives the sink; `columns` and `dialect` shape CSV.
    OutputSink(Output& out, LineForm form, CsvColumns columns, CsvDialect dialect);
    bool Take(const Captured& captured) override;

  private:
    Output& m_out;
    LineForm m_form;
    CsvColumns m_columns;
    CsvDialect m_dialect;
};

}  // namespace record
