#pragma once

// The library's string table and the ids of its other resources.

#include <string_view>

namespace lumeq {

inline constexpr int IDS_LUMEQ = 1;                // user type name of the control
inline constexpr int IDS_LUMEQ_PPG = 2;            // user type name of the property page
inline constexpr int IDS_LUMEQ_PPG_CAPTION = 200;  // caption of the property page

inline constexpr int IDD_ABOUTBOX_LUMEQ = 1;
inline constexpr int IDD_PROPPAGE_LUMEQ = 200;
inline constexpr int IDB_LUMEQ = 1;     // toolbox bitmap
inline constexpr int IDI_ABOUTDLL = 1;  // icon

// The string with resource id `id`; empty for an id the table does not hold.
std::string_view LoadLumeqString(int id);

}  // namespace lumeq
