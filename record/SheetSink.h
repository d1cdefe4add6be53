#pragma once

// Readings as rows of a spreadsheet file, written at the end.

#include <functional>
#include <memory>
#include <string>

#include "record/Sheet.h"
#include "record/Sink.h"

namespace record {

class SheetSink : public ReadingSink {
  public:
    using Say = std::function<void(const std::string&)>;
    // `failed`: the exit status when the file cannot be written.
    SheetSink(std::unique_ptr<SheetWriter> sheet, std::string path, Say say, int failed);
    bool Take(const Captured& captured) override;
    int Finish(int code) override;

  private:
    std::unique_ptr<SheetWriter> m_sheet;
    std::string m_path;
    Say m_say;
    int m_failed;
    bool m_failureSaid = false;
};

}  // namespace record
