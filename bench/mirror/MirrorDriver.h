#pragma once

// The driver of mirror_bench: plays one simulated stream into one reader process at a time, the
// peer and the panel taking turns, and turns their reports into figures.

#include <QString>

#include <optional>
#include <string>

#include "bench/mirror/MirrorFigures.h"

namespace mirror {

enum class Reader { kPeer, kKarvel };
// What the line carries: the panel's own frames, or a balance's lines (see BalanceLine).
enum class Stream { kFrames, kLines };

const char* ReaderName(Reader reader);

struct RunResult {
    ReaderReport report;
    Latencies latencies;
    std::uint64_t framesWritten = 0;
};

// Starts `program --reader NAME --device PATH` on a fresh pseudo-terminal that is COM1 of a
// fresh port folder, answers its probe (for lines: sends lines until it found them), writes
// `frames` frames of the simulated scale (or lines) at `rate` a second once it is ready, then
// stops it and reads its report. Nullopt, with `error` set, when the reader failed or its report
// cannot be read.
std::optional<RunResult> RunReader(const QString& program, Reader reader, Stream stream, int rate,
                                   int frames, std::string* error);

}  // namespace mirror
