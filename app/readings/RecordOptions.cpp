#include "app/readings/RecordOptions.h"

void AddRecordOptions(cli::OptionTable& table, RecordOptions& options,
                      record::CaptureOptions& capture) {
    table.Add({.name = "--log",
               .value = "FILE",
               .help = "append each captured reading to FILE as CSV (a header row when the file "
                       "is new or empty); never truncates; SIGHUP reopens FILE",
               .apply =
                   [&options](std::optional<std::string_view> value) {
                       options.logFile = QString::fromLocal8Bit(
                           value->data(), static_cast<qsizetype>(value->size()));
                       if (options.logFile.isEmpty())
                           return cli::Refuse("--log needs a file to append the readings to");
                       return posix::Success();
                   },
               .programs = cli::kPanel});
    record::AddCaptureOptions(
        table, capture,
        {.capture = "what is captured, for the log and the readings window:\nsettled (default): "
                    "a new weight with the stable indicator lit, not the empty pan (zero lit or "
                    "a value of 0);\nsettled-all: the same, the empty pan too;\ndata: the "
                    "scale's data-sent indicator lights (DATA pressed);\nchange: the reading "
                    "differs from the previous frame's;\nevery: every frame",
         .decimal = "'.' (default) or ',': the log and the CSV export with a decimal comma and "
                    "';' between the fields, for a spreadsheet in such a locale; a log begun in "
                    "the other form is refused"});
}

void UseCapture(const record::CaptureOptions& capture, RecordOptions& options) {
    options.rule = capture.rule;
    options.minWeight = capture.minWeight;
    options.dialect = capture.dialect;
}
