// A tap's text as a person may have edited it. Whatever comes, a refusal names a line the text
// has; what is read has each burst non-empty and its times never going back; and the bursts,
// written out as a tap writes them, read back as themselves.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "link/Tap.h"

namespace {

void CheckRefusal(std::string_view text, const std::string& said) {
    FUZZ_CHECK(said.starts_with("line "), "a refusal that names no line");
    std::size_t line = 0;
    const auto [end, ec] = std::from_chars(said.data() + 5, said.data() + said.size(), line);
    FUZZ_CHECK(ec == std::errc() && std::string_view(end).starts_with(": "),
               "a refusal without its line number");
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    FUZZ_CHECK(line >= 1 && line <= lines, "a line number the text does not have");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto bursts = scale_link::ParseTap(text);
    if (!bursts) {
        CheckRefusal(text, bursts.Error().text);
        return 0;
    }
    std::string written;
    for (std::size_t i = 0; i < bursts->size(); ++i) {
        const scale_link::TapBurst& burst = (*bursts)[i];
        FUZZ_CHECK(!burst.bytes.empty(), "a burst without bytes");
        FUZZ_CHECK(i == 0 || burst.at >= (*bursts)[i - 1].at, "a time that goes back");
        written += scale_link::TapLine(burst) + "\n";
    }
    const auto again = scale_link::ParseTap(written);
    FUZZ_CHECK(again && *again == *bursts, "bursts that do not read back as themselves");
    return 0;
}
