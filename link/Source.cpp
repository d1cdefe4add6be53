#include "link/Source.h"

#include "scale/Protocol.h"

namespace scale_link {

std::optional<KeyPress> KeyOfPanelByte(std::uint8_t byte) {
    const auto key = scale::families::KeyOfPanelByte(byte);
    if (!key)
        return std::nullopt;
    return KeyPress{*key, (byte & scale::kDoubleClick) != 0};
}

}  // namespace scale_link
