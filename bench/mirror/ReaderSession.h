#pragma once

// The part of a reader process that is the same for every reader: it says "ready" when the
// reader can take the stream, notes the frames handed to the display and the end of every paint
// of the display, and stops when the driver writes a line to standard input. Then it prints its
// report (see MirrorFigures.h) on standard output.
//
// Thread: UI thread. Needs a QApplication.

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>

#include "bench/mirror/MirrorFigures.h"

class QWidget;

namespace mirror {

// The tag a display shows: the weight it shows, when that is a whole number of grams below 256.
std::optional<std::uint8_t> TagShownBy(QWidget* display);

class ReaderSession : public QObject {
  public:
    // Times the paints of `display` from now on.
    explicit ReaderSession(QWidget* display);

    // A complete frame went to the display (its setters and Display); `tag` is its tag byte.
    void FrameShown(std::uint8_t tag) {
        ++m_frames;
        m_tag = tag;
        m_anyFrame = true;
    }

    // Where a stream's readings carry no tag byte: each paint's tag is read from what the
    // display shows, and the report's count from `count` (readings kept) at the end.
    void TagFromPicture(std::function<std::optional<std::uint8_t>()> shown) {
        m_shownTag = std::move(shown);
    }
    void CountFrom(std::function<std::uint64_t()> count) { m_count = std::move(count); }

    // Prints "ready", runs the thread's event loop until a line (or the end) comes on standard
    // input, then prints the report. Returns the process's exit code.
    int Run();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::uint64_t m_frames = 0;
    std::uint8_t m_tag = 0;
    bool m_anyFrame = false;
    bool m_inPaint = false;
    ReaderReport m_report;
    std::function<std::optional<std::uint8_t>()> m_shownTag;
    std::function<std::uint64_t()> m_count;
};

}  // namespace mirror
