#pragma once

// The rows of the weighing record and the chain that binds them: each row's hash is the SHA-256
// of its canonical form, which holds the previous row's hash, so a row changed, removed or put in
// by hand breaks the chain where it happened. The canonical form is written down in the README so
// that anyone can check a row with a few lines of their own. Plain C++.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace record::store {

// The two tables: each scale has a chain in each.
enum class Chain { kWeighings, kEvents };

// "weighings" or "events".
std::string_view TableName(Chain chain);
// The columns between `seq` and `prev_hash`, in their canonical order: for weighings time_utc,
// port, device, protocol, text, value, unit, stable, net, check, deviation, pieces, unit_weight,
// ticket, operator, frame, software; for events time_utc, kind, detail, software.
std::span<const std::string_view> FieldNames(Chain chain);

// The hash of the row before the first of a chain: 64 zeros.
inline constexpr std::string_view kFirstPrevHash =
    "0000000000000000000000000000000000000000000000000000000000000000";

struct ChainRow {
    Chain chain = Chain::kWeighings;
    std::string scale;
    std::uint64_t seq = 0;
    std::vector<std::string> fields;  // one per FieldNames(chain), any bytes but NUL
    std::string prevHash;
    std::string hash;

    // The field named `name` (of FieldNames); empty for a name the chain has not.
    const std::string& Field(std::string_view name) const;
    void SetField(std::string_view name, std::string value);
    bool operator==(const ChainRow&) const = default;
};

// A row of `chain` with every field empty.
ChainRow EmptyRow(Chain chain);

// Netstrings ("LENGTH:BYTES,", the length in decimal bytes) of: the chain's tag
// ("karvel-weighing-1" or "karvel-event-1"), prev_hash, scale, seq in decimal, then the fields in
// FieldNames order.
std::string CanonicalForm(const ChainRow& row);
// The row a canonical form holds (its hash left empty); none for bytes that are no canonical form
// of either chain.
std::optional<ChainRow> ParseCanonical(std::string_view bytes);

// Lower-case hex SHA-256 of the canonical form.
std::string HashOf(const ChainRow& row);
// Lower-case hex SHA-256 of `bytes`.
std::string HashOfText(std::string_view bytes);

// The end of a chain: its last seq and hash (0 and kFirstPrevHash while it is empty).
struct ChainEnd {
    std::uint64_t seq = 0;
    std::string hash = std::string(kFirstPrevHash);
};
// Sets `row`'s seq and prev_hash to follow `end`, and its hash.
void Link(ChainRow* row, const ChainEnd& end);

}  // namespace record::store
