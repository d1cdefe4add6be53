#include "record/Weighing.h"

namespace record {

void WeighingRules::Apply(CapturedReading* reading) const {
    if (check && !EmptyPan(reading->reading))
        reading->check = CheckOf(*check, reading->reading);
    if (sample)
        reading->pieces = CountOf(*sample, reading->reading);
}

CsvColumns WeighingRules::Columns(CsvColumns columns) const {
    const auto add = [&columns](CsvColumn column) {
        for (const CsvColumn present : columns) {
            if (present == column)
                return;
        }
        columns.push_back(column);
    };
    if (check) {
        add(CsvColumn::kCheck);
        add(CsvColumn::kDeviation);
    }
    if (countPieces) {
        add(CsvColumn::kPieces);
        add(CsvColumn::kUnitWeight);
    }
    return columns;
}

}  // namespace record
