#include "display/res/LumeqVersion.h"

#include <iterator>

namespace lumeq {

namespace {

constexpr VersionString kStrings[] = {
    {"CompanyName", "Karvel Project"},
    {"FileDescription", "Lumeq ActiveX Control Module"},
    {"FileVersion", "1, 0, 0, 1"},
    {"InternalName", "Lumeq"},
    {"LegalCopyright", "Copyright (C) Karvel Project contributors"},
    {"LegalTrademarks", ""},
    {"OLESelfRegister", ""},
    {"OriginalFilename", "Lumeq.OCX"},
    {"ProductName", "Lumeq ActiveX Control Module"},
    {"ProductVersion", "1, 0, 0, 1"},
};

constexpr VersionInfo kVersionInfo = {
    {1, 0, 0, 1}, {1, 0, 0, 1}, 2, 4, 0, "040904B0", kStrings, std::size(kStrings), 0x0409, 1200,
};

}  // namespace

const VersionInfo& LumeqVersionInfo() {
    return kVersionInfo;
}

}  // namespace lumeq
