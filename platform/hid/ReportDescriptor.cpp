#include "platform/hid/ReportDescriptor.h"

#include <algorithm>
#include <map>
#include <utility>

namespace hid {
namespace {

using posix::SystemError;

// Bounds that no real device comes near: a descriptor past them is refused, not walked.
constexpr std::size_t kMostFields = 4096;
constexpr unsigned kMostReportBits = 8 * 4096;  // the kernel's largest report
constexpr std::size_t kMostUsages = 256;
constexpr std::size_t kDeepest = 16;  // collections and pushed globals each

enum ItemType : unsigned { kMain = 0, kGlobal = 1, kLocal = 2 };

struct Globals {
    std::uint16_t usagePage = 0;
    std::int32_t logicalMin = 0;
    std::uint32_t logicalMaxRaw = 0;
    unsigned logicalMaxSize = 0;
    int unitExponent = 0;
    unsigned reportSize = 0;
    std::uint8_t reportId = 0;
    unsigned reportCount = 0;
};

struct LocalUsage {
    std::uint32_t value = 0;
    bool paged = false;  // written with its page (four bytes)
};

struct Locals {
    std::vector<LocalUsage> usages;
    std::optional<LocalUsage> min;
    std::optional<LocalUsage> max;
};

struct Item {
    unsigned type = 0;
    unsigned tag = 0;
    unsigned size = 0;  // 0, 1, 2 or 4 bytes of data
    std::uint32_t data = 0;

    std::int32_t Signed() const {
        if (size == 1)
            return static_cast<std::int8_t>(data);
        if (size == 2)
            return static_cast<std::int16_t>(data);
        return static_cast<std::int32_t>(data);
    }
};

SystemError At(std::size_t offset, const std::string& why) {
    return SystemError::Because("report descriptor byte " + std::to_string(offset) + ": " + why);
}

class Walk {
  public:
    posix::Result<Descriptor> Run(std::span<const std::uint8_t> bytes);

  private:
    posix::Status Take(const Item& item, std::size_t at);
    posix::Status Global(const Item& item, std::size_t at);
    void Local(const Item& item);
    posix::Status Main(const Item& item, std::size_t at);
    posix::Status AddFields(ReportKind kind, std::uint32_t flags, std::size_t at);
    std::vector<Usage> Usages() const;
    Usage Resolve(const LocalUsage& usage) const {
        return usage.paged ? usage.value : UsageOf(m_globals.usagePage, usage.value & 0xFFFF);
    }

    Descriptor m_descriptor;
    Globals m_globals;
    std::vector<Globals> m_pushed;
    Locals m_locals;
    std::vector<Usage> m_collections;
    std::map<std::pair<ReportKind, std::uint8_t>, unsigned> m_bits;
};

posix::Result<Descriptor> Walk::Run(std::span<const std::uint8_t> bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::uint8_t prefix = bytes[at];
        if (prefix == 0xFE) {  // a long item: its size, its tag, its data
            if (at + 2 >= bytes.size())
                return At(at, "a long item is cut short");
            at += 3 + bytes[at + 1];
            continue;
        }
        Item item{(prefix >> 2) & 3u, static_cast<unsigned>(prefix >> 4),
                  (prefix & 3u) == 3 ? 4u : prefix & 3u, 0};
        if (at + item.size >= bytes.size())
            return At(at, "an item is cut short");
        for (unsigned i = 0; i < item.size; ++i)
            item.data |= static_cast<std::uint32_t>(bytes[at + 1 + i]) << (8 * i);
        if (posix::Status taken = Take(item, at); !taken)
            return taken.Error();
        at += 1 + item.size;
    }
    if (at > bytes.size())
        return At(bytes.size(), "a long item is cut short");
    return std::move(m_descriptor);
}

posix::Status Walk::Take(const Item& item, std::size_t at) {
    switch (item.type) {
        case kMain:
            return Main(item, at);
        case kGlobal:
            return Global(item, at);
        case kLocal:
            Local(item);
            return posix::Success();
        default:
            return At(at, "a reserved item type");
    }
}

posix::Status Walk::Global(const Item& item, std::size_t at) {
    switch (item.tag) {
        case 0x0:
            m_globals.usagePage = static_cast<std::uint16_t>(item.data);
            if (std::find(m_descriptor.pages.begin(), m_descriptor.pages.end(),
                          m_globals.usagePage) == m_descriptor.pages.end())
                m_descriptor.pages.push_back(m_globals.usagePage);
            break;
        case 0x1:
            m_globals.logicalMin = item.Signed();
            break;
        case 0x2:
            m_globals.logicalMaxRaw = item.data;
            m_globals.logicalMaxSize = item.size;
            break;
        case 0x5:
            // Written as a four-bit signed nibble by the tables, as a signed byte by some devices.
            m_globals.unitExponent = item.size == 1 && item.data < 16
                                         ? (item.data >= 8 ? static_cast<int>(item.data) - 16
                                                           : static_cast<int>(item.data))
                                         : item.Signed();
            break;
        case 0x7:
            m_globals.reportSize = item.data;
            break;
        case 0x8:
            if (item.data == 0 || item.data > 0xFF)
                return At(at, "report id " + std::to_string(item.data) + " is not 1 to 255");
            m_globals.reportId = static_cast<std::uint8_t>(item.data);
            m_descriptor.numbered = true;
            break;
        case 0x9:
            m_globals.reportCount = item.data;
            break;
        case 0xA:
            if (m_pushed.size() >= kDeepest)
                return At(at, "globals pushed too deep");
            m_pushed.push_back(m_globals);
            break;
        case 0xB:
            if (m_pushed.empty())
                return At(at, "a pop with nothing pushed");
            m_globals = m_pushed.back();
            m_pushed.pop_back();
            break;
        default:  // physical range and unit: not needed to read a value
            break;
    }
    return posix::Success();
}

void Walk::Local(const Item& item) {
    const LocalUsage usage{item.data, item.size == 4};
    if (item.tag == 0x0 && m_locals.usages.size() < kMostUsages)
        m_locals.usages.push_back(usage);
    else if (item.tag == 0x1)
        m_locals.min = usage;
    else if (item.tag == 0x2)
        m_locals.max = usage;
}

std::vector<Usage> Walk::Usages() const {
    std::vector<Usage> usages;
    for (const LocalUsage& usage : m_locals.usages)
        usages.push_back(Resolve(usage));
    if (m_locals.min && m_locals.max) {
        const Usage min = Resolve(*m_locals.min);
        const Usage max = Resolve(*m_locals.max);
        for (Usage u = min; u <= max && usages.size() < kMostUsages; ++u)
            usages.push_back(u);
    }
    return usages;
}

posix::Status Walk::Main(const Item& item, std::size_t at) {
    posix::Status done = posix::Success();
    if (item.tag == 0x8)
        done = AddFields(ReportKind::kInput, item.data, at);
    else if (item.tag == 0x9)
        done = AddFields(ReportKind::kOutput, item.data, at);
    else if (item.tag == 0xB)
        done = AddFields(ReportKind::kFeature, item.data, at);
    else if (item.tag == 0xA) {
        if (m_collections.size() >= kDeepest)
            return At(at, "collections nested too deep");
        const std::vector<Usage> usages = Usages();
        m_collections.push_back(usages.empty() ? 0 : usages.front());
    } else if (item.tag == 0xC) {
        if (m_collections.empty())
            return At(at, "an end of a collection that was not begun");
        m_collections.pop_back();
    }
    m_locals = {};
    return done;
}

posix::Status Walk::AddFields(ReportKind kind, std::uint32_t flags, std::size_t at) {
    unsigned& offset = m_bits[{kind, m_globals.reportId}];
    const std::uint64_t bits =
        static_cast<std::uint64_t>(m_globals.reportSize) * m_globals.reportCount;
    if (offset + bits > kMostReportBits)
        return At(at, "a report longer than 4096 bytes");
    const bool constant = (flags & 1) != 0;
    const std::vector<Usage> usages = Usages();
    if (!constant && m_descriptor.fields.size() + m_globals.reportCount > kMostFields)
        return At(at, "more than " + std::to_string(kMostFields) + " fields");
    Field field;
    field.kind = kind;
    field.reportId = m_globals.reportId;
    field.bitSize = m_globals.reportSize;
    field.logicalMin = m_globals.logicalMin;
    // A maximum written short is unsigned when the minimum is not negative, as devices mean it.
    field.logicalMax = m_globals.logicalMin >= 0 && m_globals.logicalMaxSize < 4
                           ? static_cast<std::int32_t>(m_globals.logicalMaxRaw)
                           : Item{0, 0, m_globals.logicalMaxSize, m_globals.logicalMaxRaw}.Signed();
    field.unitExponent = m_globals.unitExponent;
    field.constant = constant;
    field.array = (flags & 2) == 0;
    field.collections = m_collections;
    for (unsigned i = 0; i < m_globals.reportCount && !constant; ++i) {
        field.bitOffset = offset + i * m_globals.reportSize;
        if (field.array)
            field.usages = usages;
        else if (!usages.empty())
            field.usages = {usages[std::min<std::size_t>(i, usages.size() - 1)]};
        m_descriptor.fields.push_back(field);
    }
    offset += static_cast<unsigned>(bits);
    return posix::Success();
}

unsigned BitOf(std::span<const std::uint8_t> data, unsigned bit) {
    return data[bit / 8] >> (bit % 8) & 1u;
}

}  // namespace

std::size_t Descriptor::ReportBytes(ReportKind kind, std::uint8_t id) const {
    unsigned bits = 0;
    for (const Field& field : fields)
        if (field.kind == kind && field.reportId == id)
            bits = std::max(bits, field.bitOffset + field.bitSize);
    if (bits == 0)
        return 0;
    return (bits + 7) / 8 + (numbered ? 1 : 0);
}

bool Descriptor::HasPage(std::uint16_t page) const {
    return std::find(pages.begin(), pages.end(), page) != pages.end();
}

posix::Result<Descriptor> ParseDescriptor(std::span<const std::uint8_t> bytes) {
    return Walk().Run(bytes);
}

std::optional<std::int64_t> FieldValue(const Field& field, bool numbered,
                                       std::span<const std::uint8_t> report) {
    const std::span<const std::uint8_t> data = report.subspan(numbered && !report.empty() ? 1 : 0);
    if (field.bitSize == 0 || field.bitSize > 32 ||
        field.bitOffset + field.bitSize > data.size() * 8)
        return std::nullopt;
    std::uint64_t value = 0;
    for (unsigned i = 0; i < field.bitSize; ++i)
        value |= static_cast<std::uint64_t>(BitOf(data, field.bitOffset + i)) << i;
    if (field.logicalMin < 0 && (value >> (field.bitSize - 1) & 1))
        return static_cast<std::int64_t>(value) - (std::int64_t{1} << field.bitSize);
    return static_cast<std::int64_t>(value);
}

std::optional<Usage> SelectedUsage(const Field& field, std::int64_t value) {
    const std::int64_t index = value - field.logicalMin;
    if (index < 0 || index >= static_cast<std::int64_t>(field.usages.size()))
        return std::nullopt;
    return field.usages[static_cast<std::size_t>(index)];
}

void SetField(const Field& field, bool numbered, std::uint32_t value,
              std::span<std::uint8_t> report) {
    const std::span<std::uint8_t> data = report.subspan(numbered && !report.empty() ? 1 : 0);
    for (unsigned i = 0; i < field.bitSize && i < 32; ++i) {
        const unsigned bit = field.bitOffset + i;
        if (bit / 8 >= data.size())
            return;
        const auto mask = static_cast<std::uint8_t>(1u << (bit % 8));
        data[bit / 8] = static_cast<std::uint8_t>((value >> i & 1) ? data[bit / 8] | mask
                                                                   : data[bit / 8] & ~mask);
    }
}

}  // namespace hid
