#pragma once

// The Karvel program run as a user starts it, for faults that end it before its panel shows.

#include <QProcessEnvironment>
#include <QString>

#include <vector>

namespace faulttest {

struct KarvelOutcome {
    bool ended = false;    // within the deadline
    bool crashed = false;  // ended by a signal
    int exitCode = -1;
    QString err;  // standard error
};

// The environment of this test with the offscreen display.
QProcessEnvironment OffscreenEnvironment();

// Runs Karvel once for each environment, all at the same time, as user nobody when `asNobody`,
// and returns their outcomes in the same order. A run that has not ended after a generous
// deadline is killed and reported as not ended.
std::vector<KarvelOutcome> RunKarvelEach(const std::vector<QProcessEnvironment>& environments,
                                         bool asNobody = false);

}  // namespace faulttest
