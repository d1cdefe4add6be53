#pragma once

// The contents of the registration store and their text form.
//
// The store is a UTF-8 text file. Its first line is "karvel-component-store<TAB>1"; its last is
// "end<TAB>N", N being the number of records, so that a cut-off file is noticed. In between, one
// record a line, fields separated by tabs, each field after the second written as key=value
// (backslash escapes \\ \t \n \r inside values); lines starting with '#' are comments:
//
//   class    {CLSID}   library=/abs/lib.so  name=User Type  [progid=...] [threading=Apartment]
//                      [control=1 insertable=0 toolbox=1 misc=0x00020191]
//                      [typelib={LIBID} version=1.0]
//   progid   Name.Class.1  clsid={CLSID}
//   typelib  {LIBID}   version=1.0  lcid=0  library=/abs/lib.so  helpdir=/abs
//
// A property page class is a `class` record without `control`.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component/Guid.h"
#include "platform/component/Result.h"

namespace component {

struct TypeLibraryVersion {
    Guid libid;
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    auto operator<=>(const TypeLibraryVersion&) const = default;
};

struct StoredClass {
    Guid clsid;
    std::string library;  // absolute
    std::string userTypeName;
    std::string progId;     // empty when none
    std::string threading;  // "Apartment", or empty
    bool control = false;   // the next three hold only for a control
    bool insertable = false;
    int toolboxBitmap = 0;
    std::uint32_t miscStatus = 0;
    std::optional<TypeLibraryVersion> typeLibrary;
    bool operator==(const StoredClass&) const = default;
};

struct StoredProgId {
    std::string progId;
    Guid clsid;
    bool operator==(const StoredProgId&) const = default;
};

struct StoredTypeLibrary {
    TypeLibraryVersion version;
    std::uint32_t lcid = 0;
    std::string library;  // absolute
    std::string helpDirectory;
    bool operator==(const StoredTypeLibrary&) const = default;
};

class RegistrationStore {
  public:
    // Parses the text of the store file `path` (named in messages). kRegistryAccess with
    // "path:line: reason" in `error` when the text is damaged.
    static Result Parse(std::string_view text, const std::string& path, RegistrationStore* out,
                        std::string* error);
    std::string Format() const;

    bool IsEmpty() const;
    const std::vector<StoredClass>& Classes() const { return m_classes; }
    const std::vector<StoredProgId>& ProgIds() const { return m_progIds; }
    const std::vector<StoredTypeLibrary>& TypeLibraries() const { return m_typeLibraries; }

    const StoredClass* FindClass(const Guid& clsid) const;
    std::optional<Guid> FindProgId(std::string_view progId) const;
    // The library registered for `libid` with the same major version and the highest minor
    // version not below `minor`; the locale-neutral entry is preferred among equal versions.
    const StoredTypeLibrary* FindTypeLibrary(const Guid& libid, std::uint16_t major,
                                             std::uint16_t minor) const;

    // Each returns whether the contents changed.
    bool PutClass(const StoredClass& entry);
    bool RemoveClass(const Guid& clsid);
    bool PutProgId(const StoredProgId& entry);
    // Removes `progId` only while it still names `clsid`.
    bool RemoveProgId(std::string_view progId, const Guid& clsid);
    bool PutTypeLibrary(const StoredTypeLibrary& entry);
    bool RemoveTypeLibrary(const TypeLibraryVersion& version, std::uint32_t lcid);

    bool operator==(const RegistrationStore&) const = default;

  private:
    std::vector<StoredClass> m_classes;
    std::vector<StoredProgId> m_progIds;
    std::vector<StoredTypeLibrary> m_typeLibraries;
};

// A ProgID is 1 to 39 characters of letters, digits and dots, not starting with a digit.
bool IsValidProgId(std::string_view progId);

}  // namespace component
