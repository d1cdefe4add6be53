#pragma once

// The rules of the weighing bench that a captured reading is given as it is kept: the check
// against a target, and the pieces once a sample was taken. Shared by the panel and the reader.
// Plain C++.

#include <optional>

#include "record/Capture.h"
#include "record/Check.h"
#include "record/Forms.h"
#include "record/Pieces.h"

namespace record {

struct WeighingRules {
    std::optional<CheckRule> check;
    bool countPieces = false;  // --count-pieces: pieces once a sample is taken
    int sampleSize = kDefaultSampleSize;
    std::optional<PieceSample> sample;  // none until one was taken

    // Sets what the rules say of `reading`: its check and its pieces.
    void Apply(CapturedReading* reading) const;
    // The CSV columns that carry what the rules add, after `columns`.
    CsvColumns Columns(CsvColumns columns) const;
};

}  // namespace record
