#pragma once

// Readings as lines on an output: JSON Lines, CSV or plain text.

#include "record/Forms.h"
#include "record/Output.h"
#include "record/Sink.h"

namespace record {

enum class LineForm { kJson, kCsv, kText };

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
