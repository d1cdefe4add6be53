#include "record/SheetSink.h"

#include <utility>

namespace record {

SheetSink::SheetSink(std::unique_ptr<SheetWriter> sheet, std::string path, Say say, int failed)
    : m_sheet(std::move(sheet)), m_path(std::move(path)), m_say(std::move(say)), m_failed(failed) {}

bool SheetSink::Take(const Captured& captured) {
    if (!m_sheet)
        return true;
    m_sheet->Add(captured.Reading(), captured.ScaleId());
    // Said when it happens, so that someone can make room or stop; the end says it again.
    if (!m_failureSaid && !m_sheet->Failure().empty()) {
        m_failureSaid = true;
        m_say("--output: " + m_path + ": " + m_sheet->Failure());
    }
    return true;
}

int SheetSink::Finish(int code) {
    if (!m_sheet)
        return code;
    std::string error;
    const std::uint64_t rows = m_sheet->Rows();
    if (m_sheet->Finish(&error)) {
        m_say("wrote " + std::to_string(rows) + (rows == 1 ? " reading to " : " readings to ") +
              m_path);
    } else {
        m_say("--output: " + error);
        code = m_failed;
    }
    m_sheet.reset();
    return code;
}

}  // namespace record
