// The panel's own scale: 12-byte display frames after the 0x05 probe's 06 AA answer.

#include "scale/FrameWindow.h"
#include "scale/families/Lines.h"

namespace scale::families {

namespace {

class FrameDecoder : public Decoder {
  public:
    void Push(std::span<const std::uint8_t> bytes, std::vector<Decoded>* out) override {
        for (const std::uint8_t byte : bytes) {
            if (m_window.Push(byte))
                out->push_back({Read(m_window.FrameSlots()),
                                {m_window.Bytes().begin(), m_window.Bytes().end()}});
        }
    }

  private:
    FrameWindow m_window;
};

}  // namespace

Family KarvelFamily() {
    return {"karvel",
            "12-byte display frames, answers 0x05 with 06 AA",
            {kLine},
            {{Key::kData, std::string(1, static_cast<char>(kKeyData))},
             {Key::kMode, std::string(1, static_cast<char>(kKeyMode))},
             {Key::kTare, std::string(1, static_cast<char>(kKeyTare))},
             {Key::kOnOff, std::string(1, static_cast<char>(kKeyOnOff))}},
            std::string(1, static_cast<char>(kProbe))};
}

std::unique_ptr<Decoder> MakeKarvelDecoder() {
    return std::make_unique<FrameDecoder>();
}

}  // namespace scale::families
