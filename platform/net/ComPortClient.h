#pragma once

// The client's half of RFC 2217 (the telnet COM port option) over a byte stream it does not
// own: what to ask for first (the COM port option, binary both ways, no go-ahead), the answers
// to what the server asks (options it does not know are refused once each, never in a loop),
// the sub-negotiations that set the far port's line, and what the server says it set. Data
// going out is escaped with telnet::Escaped. Plain C++; one thread at a time.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "platform/net/Telnet.h"

namespace net {

struct ComPortLine {
    unsigned baud = 9600;
    unsigned dataBits = 8;
    char parity = 'N';  // N, E, O, M or S
    unsigned stopBits = 1;

    bool operator==(const ComPortLine&) const = default;
};

class ComPortClient {
  public:
    enum class Agreement { kAsked, kYes, kNo };

    // The client's requests, sent once when the connection opens.
    std::vector<std::uint8_t> Start();
    // Reads the server's bytes: data to `data`, what must be answered to `reply`.
    void Push(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>* data,
              std::vector<std::uint8_t>* reply);
    // SET-BAUDRATE, SET-DATASIZE, SET-PARITY and SET-STOPSIZE for `line`.
    std::vector<std::uint8_t> SetLine(const ComPortLine& line);

    // Whether the server takes the COM port option.
    Agreement ComPort() const { return m_comPort; }
    // How many SET-BAUDRATE answers came, and the speed the last one said.
    unsigned BaudAnswers() const { return m_baudAnswers; }
    std::optional<unsigned> BaudSet() const { return m_baudSet; }

  private:
    enum class Side : std::uint8_t { kNo, kYes, kAsked };
    void Answer(const telnet::Command& command, std::vector<std::uint8_t>* reply);
    void Negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>* reply);
    void ServerSaid(const std::vector<std::uint8_t>& sub);

    telnet::Reader m_reader;
    std::array<Side, 256> m_us{};   // options this side performs
    std::array<Side, 256> m_him{};  // options the server performs
    std::array<bool, 256> m_refused{};
    Agreement m_comPort = Agreement::kAsked;
    unsigned m_baudAnswers = 0;
    std::optional<unsigned> m_baudSet;
    std::vector<telnet::Command> m_commands;  // scratch
};

}  // namespace net
