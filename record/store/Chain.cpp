#include "record/store/Chain.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <charconv>

#include "record/Escape.h"

namespace record::store {
namespace {

constexpr std::array<std::string_view, 17> kWeighingFields = {
    "time_utc",    "port",   "device",   "protocol", "text",      "value",
    "unit",        "stable", "net",      "check",    "deviation", "pieces",
    "unit_weight", "ticket", "operator", "frame",    "software"};
constexpr std::array<std::string_view, 4> kEventFields = {"time_utc", "kind", "detail", "software"};

std::string_view TagOf(Chain chain) {
    return chain == Chain::kWeighings ? "karvel-weighing-1" : "karvel-event-1";
}

void AppendNetstring(std::string* out, std::string_view bytes) {
    out->append(std::to_string(bytes.size())).append(":").append(bytes).append(",");
}

// Reads one netstring from the front of `*bytes`, moving past it.
std::optional<std::string_view> TakeNetstring(std::string_view* bytes) {
    const std::size_t colon = bytes->find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 10 ||
        ((*bytes)[0] == '0' && colon != 1))
        return std::nullopt;
    std::size_t length = 0;
    const auto [end, ec] = std::from_chars(bytes->data(), bytes->data() + colon, length);
    if (ec != std::errc() || end != bytes->data() + colon || length > bytes->size() - colon - 1 ||
        bytes->size() - colon - 1 - length < 1 || (*bytes)[colon + 1 + length] != ',')
        return std::nullopt;
    const std::string_view field = bytes->substr(colon + 1, length);
    bytes->remove_prefix(colon + 2 + length);
    return field;
}

std::optional<std::uint64_t> SeqOf(std::string_view text) {
    std::uint64_t seq = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seq);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() ||
        (text[0] == '0' && text.size() > 1))
        return std::nullopt;
    return seq;
}

}  // namespace

std::string_view TableName(Chain chain) {
    return chain == Chain::kWeighings ? "weighings" : "events";
}

std::span<const std::string_view> FieldNames(Chain chain) {
    if (chain == Chain::kWeighings)
        return kWeighingFields;
    return kEventFields;
}

const std::string& ChainRow::Field(std::string_view name) const {
    static const std::string kNone;
    const auto names = FieldNames(chain);
    const auto at = std::find(names.begin(), names.end(), name);
    if (at == names.end() || static_cast<std::size_t>(at - names.begin()) >= fields.size())
        return kNone;
    return fields[static_cast<std::size_t>(at - names.begin())];
}

void ChainRow::SetField(std::string_view name, std::string value) {
    const auto names = FieldNames(chain);
    const auto at = std::find(names.begin(), names.end(), name);
    if (at != names.end())
        fields.at(static_cast<std::size_t>(at - names.begin())) = std::move(value);
}

ChainRow EmptyRow(Chain chain) {
    ChainRow row;
    row.chain = chain;
    row.fields.resize(FieldNames(chain).size());
    return row;
}

std::string CanonicalForm(const ChainRow& row) {
    std::string form;
    AppendNetstring(&form, TagOf(row.chain));
    AppendNetstring(&form, row.prevHash);
    AppendNetstring(&form, row.scale);
    AppendNetstring(&form, std::to_string(row.seq));
    for (const std::string& field : row.fields)
        AppendNetstring(&form, field);
    return form;
}

std::optional<ChainRow> ParseCanonical(std::string_view bytes) {
    const auto tag = TakeNetstring(&bytes);
    if (!tag || (*tag != TagOf(Chain::kWeighings) && *tag != TagOf(Chain::kEvents)))
        return std::nullopt;
    ChainRow row = EmptyRow(*tag == TagOf(Chain::kWeighings) ? Chain::kWeighings : Chain::kEvents);
    const auto prev = TakeNetstring(&bytes);
    const auto scale = prev ? TakeNetstring(&bytes) : std::nullopt;
    const auto seqText = scale ? TakeNetstring(&bytes) : std::nullopt;
    const auto seq = seqText ? SeqOf(*seqText) : std::nullopt;
    if (!seq)
        return std::nullopt;
    row.prevHash = *prev;
    row.scale = *scale;
    row.seq = *seq;
    for (std::string& field : row.fields) {
        const auto taken = TakeNetstring(&bytes);
        if (!taken)
            return std::nullopt;
        field = *taken;
    }
    if (!bytes.empty())
        return std::nullopt;
    return row;
}

std::string HashOf(const ChainRow& row) {
    return HashOfText(CanonicalForm(row));
}

std::string HashOfText(std::string_view form) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    EVP_Digest(form.data(), form.size(), digest.data(), &size, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i)
        AppendHex(&hex, digest[i]);
    return hex;
}

void Link(ChainRow* row, const ChainEnd& end) {
    row->seq = end.seq + 1;
    row->prevHash = end.hash;
    row->hash = HashOf(*row);
}

}  // namespace record::store
