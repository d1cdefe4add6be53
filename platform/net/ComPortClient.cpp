#include "platform/net/ComPortClient.h"

namespace net {
namespace {

using namespace telnet;

// COM port option commands, client to server; the server answers each with it plus 100.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kServerOffset = 100;

bool Wanted(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

void Append(std::vector<std::uint8_t>* to, const std::vector<std::uint8_t>& bytes) {
    to->insert(to->end(), bytes.begin(), bytes.end());
}

std::uint8_t ParityCode(char parity) {
    switch (parity) {
        case 'O':
            return 2;
        case 'E':
            return 3;
        case 'M':
            return 4;
        case 'S':
            return 5;
        default:
            return 1;
    }
}

}  // namespace

std::vector<std::uint8_t> ComPortClient::Start() {
    std::vector<std::uint8_t> out;
    for (const std::uint8_t option : {kComPort, kBinary}) {
        m_us[option] = Side::kAsked;
        Append(&out, Negotiation(kWill, option));
    }
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead}) {
        m_him[option] = Side::kAsked;
        Append(&out, Negotiation(kDo, option));
    }
    return out;
}

void ComPortClient::Push(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>* data,
                         std::vector<std::uint8_t>* reply) {
    m_commands.clear();
    m_reader.Push(bytes, data, &m_commands);
    for (const Command& command : m_commands)
        Answer(command, reply);
}

void ComPortClient::Answer(const Command& command, std::vector<std::uint8_t>* reply) {
    if (command.verb == kSb) {
        if (command.option == kComPort)
            ServerSaid(command.sub);
        return;
    }
    Negotiate(command.verb, command.option, reply);
    if (command.option == kComPort && (command.verb == kDo || command.verb == kDont))
        m_comPort = command.verb == kDo ? Agreement::kYes : Agreement::kNo;
}

// Answers only what changes a side's state, so two ends never echo each other for ever.
void ComPortClient::Negotiate(std::uint8_t verb, std::uint8_t option,
                              std::vector<std::uint8_t>* reply) {
    const bool ours = verb == kDo || verb == kDont;
    Side& side = ours ? m_us[option] : m_him[option];
    const bool on = verb == kDo || verb == kWill;
    const std::uint8_t yes = ours ? kWill : kDo;
    const std::uint8_t no = ours ? kWont : kDont;
    if (on && !Wanted(option)) {
        if (!std::exchange(m_refused[option], true))
            Append(reply, Negotiation(no, option));
        return;
    }
    const Side before = side;
    side = on ? Side::kYes : Side::kNo;
    if (before == Side::kAsked || before == side)
        return;
    Append(reply, Negotiation(on ? yes : no, option));
}

void ComPortClient::ServerSaid(const std::vector<std::uint8_t>& sub) {
    if (sub.size() == 5 && sub[0] == kSetBaudRate + kServerOffset) {
        ++m_baudAnswers;
        m_baudSet = static_cast<unsigned>(sub[1]) << 24 | static_cast<unsigned>(sub[2]) << 16 |
                    static_cast<unsigned>(sub[3]) << 8 | sub[4];
    }
}

std::vector<std::uint8_t> ComPortClient::SetLine(const ComPortLine& line) {
    const std::uint8_t baud[] = {kSetBaudRate, static_cast<std::uint8_t>(line.baud >> 24),
                                 static_cast<std::uint8_t>(line.baud >> 16),
                                 static_cast<std::uint8_t>(line.baud >> 8),
                                 static_cast<std::uint8_t>(line.baud)};
    const std::uint8_t size[] = {kSetDataSize, static_cast<std::uint8_t>(line.dataBits)};
    const std::uint8_t parity[] = {kSetParity, ParityCode(line.parity)};
    const std::uint8_t stop[] = {kSetStopSize,
                                 static_cast<std::uint8_t>(line.stopBits == 2 ? 2 : 1)};
    std::vector<std::uint8_t> out;
    for (const std::span<const std::uint8_t> sub :
         {std::span<const std::uint8_t>(baud), std::span<const std::uint8_t>(size),
          std::span<const std::uint8_t>(parity), std::span<const std::uint8_t>(stop)})
        Append(&out, SubNegotiation(kComPort, sub));
    return out;
}

}  // namespace net
