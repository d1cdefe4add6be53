// Reading the registration store: parse rate for stores of 1 000, 10 000 and 100 000 records.
// Reading must stay linear in the size of the store, so the time per record is about the same
// for every size.
//
//   store_bench
//
// Prints figure lines: records/s for each size, and the time per record at 100 000 against
// that at 1 000.

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/component/RegistrationStore.h"

namespace {

using component::Guid;
using component::RegistrationStore;

// A store of `records` records: classes, each with its ProgID, and a type library for every
// tenth class.
std::string StoreText(int records) {
    RegistrationStore store;
    int made = 0;
    for (int i = 0; made < records; ++i) {
        Guid clsid;
        clsid.data1 = static_cast<std::uint32_t>(i);
        clsid.data2 = 0x4111;
        component::StoredClass entry;
        entry.clsid = clsid;
        entry.library = "/usr/lib/karvel/libComponent" + std::to_string(i) + ".so";
        entry.userTypeName = "Component " + std::to_string(i);
        entry.progId = "Bench.Component" + std::to_string(i) + ".1";
        entry.threading = "Apartment";
        store.PutClass(entry);
        ++made;
        if (made < records) {
            store.PutProgId({entry.progId, clsid});
            ++made;
        }
        if (made < records && i % 10 == 0) {
            store.PutTypeLibrary({{clsid, 1, 0}, 0, entry.library, "/usr/lib/karvel"});
            ++made;
        }
    }
    return store.Format();
}

// Nanoseconds per record for parsing `text`, best of `rounds`.
double NanosPerRecord(const std::string& text, int records, int rounds) {
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        RegistrationStore store;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        if (component::Failed(RegistrationStore::Parse(text, "bench.store", &store, &error))) {
            std::fprintf(stderr, "store_bench: %s\n", error.c_str());
            return -1;
        }
        const std::chrono::duration<double, std::nano> spent =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, spent.count() / records);
    }
    return best;
}

}  // namespace

int main() {
    double first = 0, last = 0;
    for (const int records : {1'000, 10'000, 100'000}) {
        const std::string text = StoreText(records);
        const double nanos = NanosPerRecord(text, records, records >= 100'000 ? 3 : 10);
        if (nanos < 0)
            return 1;
        std::printf("figure: store_read_%d_records_per_s = %.0f 1/s\n", records, 1e9 / nanos);
        (records == 1'000 ? first : last) = nanos;
    }
    std::printf("figure: store_read_per_record_100000_vs_1000 = %.2f x\n", last / first);
    return 0;
}
