#pragma once

// The telnet side of an RFC 2217 port: the reader that takes a server's bytes apart into data,
// option negotiation and sub-negotiations (IAC IAC is one data byte 0xFF), and the writer's
// forms: data with each IAC doubled, a negotiation, a sub-negotiation. Bytes from the network
// are untrusted: a sub-negotiation longer than kMaxSubNegotiation is dropped whole, and no
// sequence leaves the reader in a state it cannot leave. Plain C++; one thread at a time.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace net::telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPort = 44;

inline constexpr std::size_t kMaxSubNegotiation = 64;

struct Command {
    std::uint8_t verb = 0;  // kWill, kWont, kDo, kDont, or kSb with `sub`
    std::uint8_t option = 0;
    std::vector<std::uint8_t> sub;  // a sub-negotiation's bytes after the option, unescaped

    bool operator==(const Command&) const = default;
};

class Reader {
  public:
    // Appends the data in `bytes` to `data` and each complete command to `commands`; a command
    // split between two calls is completed by the second. Other two-byte commands (NOP, GA,
    // ...) are dropped. Until the server says WILL BINARY a NUL after CR is padding.
    void Push(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>* data,
              std::vector<Command>* commands);
    void SetBinary(bool binary) { m_binary = binary; }

  private:
    enum class State { kData, kAfterIac, kOption, kSub, kSubIac };
    void Byte(std::uint8_t byte, std::vector<std::uint8_t>* data, std::vector<Command>* commands);
    void SubByte(std::uint8_t byte, std::vector<Command>* commands);

    State m_state = State::kData;
    std::uint8_t m_verb = 0;
    std::vector<std::uint8_t> m_sub;  // option first
    bool m_subTooLong = false;
    bool m_binary = false;
    bool m_afterCr = false;
};

// `data` as sent: each 0xFF doubled.
std::vector<std::uint8_t> Escaped(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> Negotiation(std::uint8_t verb, std::uint8_t option);
// IAC SB option payload... IAC SE, the payload escaped.
std::vector<std::uint8_t> SubNegotiation(std::uint8_t option,
                                         std::span<const std::uint8_t> payload);

}  // namespace net::telnet
