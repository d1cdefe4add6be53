// Line settings text as a caller may pass it: any bytes, over any starting state. A refused text
// leaves the state alone; an accepted one gives a state a port can run, which its own canonical
// text reproduces, and the case of the text never matters.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/serial/BaudRates.h"
#include "platform/serial/LineSettingsText.h"

namespace {

using serial_port::LineState;
using serial_port::Parity;
using serial_port::StopBits;

LineState MakeState(FuzzedDataProvider& in) {
    static constexpr unsigned kBauds[] = {110, 1200, 9600, 19200, 115200};
    static constexpr Parity kParities[] = {Parity::kNone, Parity::kEven, Parity::kOdd,
                                           Parity::kMark, Parity::kSpace};
    LineState s;
    s.baud = in.PickValueInArray(kBauds);
    s.parity = in.PickValueInArray(kParities);
    s.dataBits = in.ConsumeIntegralInRange<int>(5, 8);
    s.stopBits = s.dataBits == 5 ? (in.ConsumeBool() ? StopBits::kOneAndHalf : StopBits::kOne)
                                 : (in.ConsumeBool() ? StopBits::kTwo : StopBits::kOne);
    s.rtsControl =
        in.ConsumeBool() ? serial_port::RtsControl::kEnable : serial_port::RtsControl::kDisable;
    s.hasModemLines = in.ConsumeBool();
    return s;
}

std::string CanonicalText(const LineState& s) {
    const char* stop = s.stopBits == StopBits::kOne          ? "1"
                       : s.stopBits == StopBits::kOneAndHalf ? "1.5"
                                                             : "2";
    return "baud=" + std::to_string(s.baud) + " parity=" + static_cast<char>(s.parity) +
           " data=" + std::to_string(s.dataBits) + " stop=" + stop;
}

std::string WithCase(const std::string& text, bool upper) {
    std::string out = text;
    for (char& c : out) {
        const int u = static_cast<unsigned char>(c);
        c = static_cast<char>(upper ? std::toupper(u) : std::tolower(u));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const LineState start = MakeState(in);
    const std::string text = in.ConsumeRemainingBytesAsString();

    LineState state = start;
    const bool accepted = serial_port::ApplyLineSettingsText(text, state);
    if (!accepted) {
        FUZZ_CHECK(state == start, "a refused text changed the settings");
    } else {
        FUZZ_CHECK(serial_port::IsKnownBaudRate(state.baud), "an unknown baud rate was taken");
        FUZZ_CHECK(state.dataBits >= 5 && state.dataBits <= 8, "data bits out of range");
        FUZZ_CHECK(state.stopBits != StopBits::kOneAndHalf || state.dataBits == 5,
                   "1.5 stop bits without 5 data bits");
        FUZZ_CHECK(state.stopBits != StopBits::kTwo || state.dataBits != 5,
                   "2 stop bits with 5 data bits");
        FUZZ_CHECK(
            state.rtsControl == start.rtsControl && state.hasModemLines == start.hasModemLines,
            "the text changed what it cannot name");
        // Taken again, the same text changes nothing more.
        LineState again = state;
        FUZZ_CHECK(serial_port::ApplyLineSettingsText(text, again) && again == state,
                   "the text does not settle");
        // The state's own full text brings any state to it.
        LineState fromCanonical;
        FUZZ_CHECK(serial_port::ApplyLineSettingsText(CanonicalText(state), fromCanonical),
                   "the canonical text of accepted settings is refused");
        fromCanonical.rtsControl = state.rtsControl;
        fromCanonical.hasModemLines = state.hasModemLines;
        FUZZ_CHECK(fromCanonical == state, "the canonical text gives other settings");
    }

    for (const bool upper : {false, true}) {
        LineState other = start;
        const bool otherAccepted = serial_port::ApplyLineSettingsText(WithCase(text, upper), other);
        FUZZ_CHECK(otherAccepted == accepted && other == state, "the case of the text matters");
    }
    return 0;
}
