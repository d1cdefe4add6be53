// The weighing record's canonical form: a form that reads back writes back as the same bytes (one
// form per row, so a hash names one row), and any row, its fields any bytes, reads back from its
// form as itself (no two rows share a form).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "record/store/Chain.h"

namespace {

using record::store::Chain;
using record::store::ChainRow;

// The input cut at each 0xff byte: chain, scale, seq's bytes, prev_hash, then the fields.
ChainRow RowFrom(std::string_view bytes) {
    ChainRow row = record::store::EmptyRow(!bytes.empty() && bytes[0] & 1 ? Chain::kEvents
                                                                          : Chain::kWeighings);
    std::size_t part = 0;
    while (!bytes.empty()) {
        const std::size_t cut = bytes.find('\xff');
        const std::string_view piece = bytes.substr(0, cut);
        if (part == 1)
            row.scale = piece;
        else if (part == 2)
            for (const char c : piece)
                row.seq = row.seq * 131 + static_cast<unsigned char>(c);
        else if (part == 3)
            row.prevHash = piece;
        else if (part >= 4 && part - 4 < row.fields.size())
            row.fields[part - 4] = piece;
        ++part;
        bytes.remove_prefix(cut == std::string_view::npos ? bytes.size() : cut + 1);
    }
    return row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto parsed = record::store::ParseCanonical(bytes))
        FUZZ_CHECK(record::store::CanonicalForm(*parsed) == bytes, "a form writes back as itself");

    const ChainRow row = RowFrom(bytes);
    const std::string form = record::store::CanonicalForm(row);
    const auto back = record::store::ParseCanonical(form);
    FUZZ_CHECK(back && *back == row, "a row reads back from its form");
    FUZZ_CHECK(record::store::HashOf(row).size() == 64, "a hash is 64 hex digits");
    return 0;
}
