// Bytes from a telnet COM port server (RFC 2217) as the client reads them. Whatever comes, the
// data and the answers are the same whether the bytes come at once or split (at a place the
// input's first byte chooses); data never outgrows what came; every answer is a whole
// negotiation, never more of them than the commands that came; and data escaped for sending
// reads back as itself.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/net/ComPortClient.h"
#include "platform/net/Telnet.h"

namespace {

namespace telnet = net::telnet;

struct Heard {
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> reply;
};

Heard Hear(std::span<const std::uint8_t> bytes, std::size_t split) {
    net::ComPortClient client;
    Heard heard;
    client.Start();
    client.Push(bytes.first(split), &heard.data, &heard.reply);
    client.Push(bytes.subspan(split), &heard.data, &heard.reply);
    return heard;
}

void CheckAnswers(std::span<const std::uint8_t> bytes, const std::vector<std::uint8_t>& reply) {
    FUZZ_CHECK(reply.size() % 3 == 0, "an answer that is no whole negotiation");
    for (std::size_t i = 0; i < reply.size(); i += 3) {
        FUZZ_CHECK(reply[i] == telnet::kIac && reply[i + 1] >= telnet::kWill,
                   "an answer that is no negotiation");
    }
    FUZZ_CHECK(reply.size() <= bytes.size(), "more answers than commands came");
}

void CheckEscaped(std::span<const std::uint8_t> bytes) {
    telnet::Reader reader;
    reader.SetBinary(true);
    std::vector<std::uint8_t> data;
    std::vector<telnet::Command> commands;
    reader.Push(telnet::Escaped(bytes), &data, &commands);
    FUZZ_CHECK(commands.empty(), "escaped data read as a command");
    FUZZ_CHECK(std::vector<std::uint8_t>(bytes.begin(), bytes.end()) == data,
               "escaped data does not read back as itself");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    const Heard whole = Hear(bytes, size);
    const Heard parts = Hear(bytes, split);
    FUZZ_CHECK(whole.data == parts.data, "split input gave other data");
    FUZZ_CHECK(whole.reply == parts.reply, "split input gave other answers");
    FUZZ_CHECK(whole.data.size() <= size, "more data than bytes came");
    CheckAnswers(bytes, whole.reply);
    CheckEscaped(bytes);
    return 0;
}
