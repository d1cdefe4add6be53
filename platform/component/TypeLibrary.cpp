#include "platform/component/TypeLibrary.h"

#include "platform/component/ErrorText.h"
#include "platform/component/LibraryCache.h"
#include "platform/component/StoreFile.h"

namespace component {

namespace {

std::string VersionText(const Guid& libid, std::uint16_t major, std::uint16_t minor) {
    return libid.ToString() + " version " + std::to_string(major) + "." + std::to_string(minor);
}

}  // namespace

Result LoadRegisteredTypeLibrary(const Guid& libid, std::uint16_t major, std::uint16_t minor,
                                 const TypeLibraryInfo** out) {
    if (!out) {
        SetErrorText("no place given for the type library");
        return kNullPointer;
    }
    *out = nullptr;
    std::optional<StoredTypeLibrary> entry;
    std::string path;
    std::string looked;
    const Result found = StoreFile::FindForLookup(
        [&](const RegistrationStore& store) {
            if (const StoredTypeLibrary* e = store.FindTypeLibrary(libid, major, minor))
                entry = *e;
            return entry.has_value();
        },
        &path, &looked);
    if (found == kFalse) {
        SetErrorText("the type library " + VersionText(libid, major, minor) +
                     " is not registered: " + looked);
        return kLibraryNotRegistered;
    }
    if (Failed(found))
        return found;
    const std::string wanted =
        "the type library " + VersionText(libid, entry->version.major, entry->version.minor);

    const Library* library = nullptr;
    if (const Result r = LoadCachedLibrary(entry->library, &library); Failed(r)) {
        SetErrorText(wanted + " (registered in " + path + "): " + ErrorText());
        return r;
    }
    const auto getTypeLibrary = FindExport<GetTypeLibraryFn>(*library, "DllGetTypeLibrary");
    if (!getTypeLibrary) {
        SetErrorText(wanted + " (registered in " + path + "): " + ErrorText());
        return kCannotLoadLibrary;
    }
    const TypeLibraryInfo* info = getTypeLibrary();
    if (!info) {
        SetErrorText(wanted + ": " + Printable(library->Path()) + " carries no type library");
        return kCannotLoadLibrary;
    }
    if (info->libid != libid || info->major != entry->version.major ||
        info->minor != entry->version.minor) {
        SetErrorText(wanted + ": " + Printable(library->Path()) + " carries " +
                     VersionText(info->libid, info->major, info->minor) + " instead");
        return kCannotLoadLibrary;
    }
    *out = info;
    return kOk;
}

}  // namespace component
