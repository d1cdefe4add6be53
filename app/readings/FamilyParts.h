#pragma once

// What a family's reading holds beyond its row in the readings window (its reading as the family
// decoded it, the slot values, the family's name and the line it came in), packed into one
// buffer: some fifty bytes a reading where the decoded form takes over three hundred, so that a
// fast stream's hundred thousand rows stay a few megabytes. Parts come in the order of their rows
// and leave from the front, as rows do.
//
// Plain C++. Thread: one thread at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scale/Protocol.h"
#include "scale/Reading.h"

struct FamilyPart {
    scale::Reading reading;
    scale::Slots values;
    std::string protocol;
    std::vector<std::uint8_t> bytes;

    bool operator==(const FamilyPart&) const = default;
};

class FamilyParts {
  public:
    // REQUIRES: `row` is past every row added since the last Clear.
    void Add(std::uint64_t row, const FamilyPart& part);
    // The part of `row`; none when it has none (a frame's row) or it left.
    std::optional<FamilyPart> Find(std::uint64_t row) const;
    // Forgets the parts of the rows before `row`.
    void DropBefore(std::uint64_t row);
    void Clear();
    std::size_t Count() const { return m_entries.size(); }

  private:
    struct Entry {
        std::uint64_t row;
        std::size_t end;  // where its bytes end in m_packed
    };

    std::vector<Entry> m_entries;
    std::string m_packed;
    std::vector<std::string> m_protocols;  // the names parts refer to by index
};
