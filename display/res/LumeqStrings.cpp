#include "display/res/LumeqStrings.h"

namespace lumeq {

namespace {

struct StringEntry {
    int id;
    std::string_view text;
};

constexpr StringEntry kStrings[] = {
    {IDS_LUMEQ, "Lumeq Control"},
    {IDS_LUMEQ_PPG, "Lumeq Property Page"},
    {IDS_LUMEQ_PPG_CAPTION, "General"},
};

}  // namespace

std::string_view LoadLumeqString(int id) {
    for (const StringEntry& e : kStrings) {
        if (e.id == id)
            return e.text;
    }
    return {};
}

}  // namespace lumeq
