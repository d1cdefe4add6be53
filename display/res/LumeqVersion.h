#pragma once

// The library's version data. A tool that has loaded the library reads it through the exported
// function "DllGetVersionInfo" (type GetVersionInfoFn); a host asks any of the library's class
// objects for VersionSource. The data is static and lives as long as the library is loaded.

#include <cstddef>
#include <cstdint>

#include "platform/component/Interfaces.h"

namespace lumeq {

struct VersionString {
    const char* key;
    const char* value;
};

struct VersionInfo {
    std::uint16_t fileVersion[4];  // 1.0.0.1 is {1, 0, 0, 1}
    std::uint16_t productVersion[4];
    std::uint32_t fileType;  // 2: dynamic-link library
    std::uint32_t fileOs;    // 4: 32-bit Windows, where the control was first built
    std::uint32_t fileFlags;
    const char* stringTableId;  // language and code page of the strings, "040904B0"
    const VersionString* strings;
    std::size_t stringCount;
    std::uint16_t translationLanguage;
    std::uint16_t translationCodePage;
};

using GetVersionInfoFn = const VersionInfo* (*)();

// Found through QueryInterface on the library's class objects. Any thread.
class VersionSource : public component::Unknown {
  public:
    virtual const VersionInfo* Version() = 0;

  protected:
    ~VersionSource() = default;
};
inline constexpr component::Guid kIidVersionSource =
    component::MakeGuid("{C8C52931-3019-4C26-A0F9-5E3D2CCE8949}");

// The value of `key` in `info`'s string table, or null when the key is absent.
inline const char* FindVersionString(const VersionInfo& info, const char* key) {
    for (std::size_t i = 0; i < info.stringCount; ++i) {
        const char* a = info.strings[i].key;
        const char* b = key;
        while (*a != '\0' && *a == *b) {
            ++a;
            ++b;
        }
        if (*a == *b)
            return info.strings[i].value;
    }
    return nullptr;
}

// The library's own data.
const VersionInfo& LumeqVersionInfo();

}  // namespace lumeq
