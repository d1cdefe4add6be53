#pragma once

// karvel-read with --record under a steady stream of weighings (a family's lines, --capture
// every, each line a weighing committed before it is printed):
//   RecordRate: weighings per second committed into a PostgreSQL cluster the bench makes on a
//               private socket, beside the same into SQLite (every commit synced), in one run.
//   RecordMemory: the reader's resident memory at its 10 000th and its 100 000th weighing into
//               SQLite, fed at the pace of a 115 200 baud line.

#include <string>

namespace bench {

// Programs are taken from `binDir`. The exit status of the benchmark.
int RecordRate(int seconds, const std::string& binDir);
int RecordMemory(const std::string& binDir);

}  // namespace bench
