#pragma once

// Garbage for files and lines that must be refused: the same bytes for the same seed.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace testing_support {

inline std::string RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

}  // namespace testing_support
