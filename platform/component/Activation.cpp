#include "platform/component/Activation.h"

#include "platform/component/ErrorText.h"
#include "platform/component/LibraryCache.h"
#include "platform/component/Manifest.h"
#include "platform/component/Ref.h"
#include "platform/component/StoreFile.h"

namespace component {

namespace {

// Where the library of a class was found, for messages.
struct ClassSource {
    std::string library;
    std::string origin;  // "the manifest X" or "the registration store X"
};

// Looks the class up in the program's manifest. kOk with `source` filled when the manifest
// names it; kClassNotRegistered when there is no manifest or it does not name the class; any
// other failure stops the lookup. `looked` collects what was consulted.
Result FindInManifest(const Guid& clsid, ClassSource* source, std::string* looked) {
    bool explicitlyNamed = false;
    const std::vector<std::string> paths = Manifest::PathsForProgram(&explicitlyNamed);
    if (paths.empty()) {
        *looked = "no manifest (the program's own path is unknown)";
        return kClassNotRegistered;
    }
    Manifest manifest;
    std::string error;
    Result r = kFileNotFound;
    for (auto path = paths.begin(); path != paths.end() && r == kFileNotFound; ++path)
        r = Manifest::Read(*path, &manifest, &error);
    if (r == kFileNotFound && !explicitlyNamed) {
        *looked = "no manifest at " + paths.front();
        for (auto path = paths.begin() + 1; path != paths.end(); ++path)
            *looked += " or " + *path;
        return kClassNotRegistered;
    }
    if (Failed(r)) {
        SetErrorText(error);
        return kRegistryAccess;
    }
    if (auto library = manifest.LibraryFor(clsid)) {
        *source = {*library, "the manifest " + manifest.Path()};
        return kOk;
    }
    *looked = "the manifest " + manifest.Path() + " does not list it";
    return kClassNotRegistered;
}

Result FindInStore(const Guid& clsid, ClassSource* source, std::string* looked) {
    std::string library;
    std::string path;
    const Result r = StoreFile::FindForLookup(
        [&](const RegistrationStore& store) {
            const StoredClass* entry = store.FindClass(clsid);
            if (entry)
                library = entry->library;
            return entry != nullptr;
        },
        &path, looked);
    if (r == kFalse)
        return kClassNotRegistered;
    if (Failed(r))
        return r;
    *source = {library, "the registration store " + path};
    return kOk;
}

}  // namespace

Result GetClassObject(const Guid& clsid, const Guid& iid, void** out) {
    if (!out) {
        SetErrorText("no place given for the class object");
        return kNullPointer;
    }
    *out = nullptr;

    ClassSource source;
    std::string inManifest;
    Result r = FindInManifest(clsid, &source, &inManifest);
    if (r == kClassNotRegistered) {
        std::string inStore;
        r = FindInStore(clsid, &source, &inStore);
        if (r == kClassNotRegistered) {
            SetErrorText("the class " + clsid.ToString() + " is not registered: " + inManifest +
                         ", and " + inStore);
            return r;
        }
    }
    if (Failed(r))
        return r;

    const Library* library = nullptr;
    if (Failed(r = LoadCachedLibrary(source.library, &library))) {
        SetErrorText("the class " + clsid.ToString() + " (listed in " + source.origin +
                     "): " + ErrorText());
        return r;
    }
    const auto getClassObject = FindExport<GetClassObjectFn>(*library, "DllGetClassObject");
    if (!getClassObject) {
        SetErrorText("the class " + clsid.ToString() + " (listed in " + source.origin +
                     "): " + ErrorText());
        return kCannotLoadLibrary;
    }
    r = getClassObject(&clsid, &iid, out);
    if (Failed(r)) {
        *out = nullptr;
        SetErrorText("the library " + Printable(library->Path()) + " (listed for the class " +
                     clsid.ToString() + " in " + source.origin +
                     ") did not give its class "
                     "object: " +
                     DescribeResult(r));
    }
    return r;
}

Result CreateInstance(const Guid& clsid, const Guid& iid, void** out) {
    if (!out) {
        SetErrorText("no place given for the object");
        return kNullPointer;
    }
    *out = nullptr;
    Ref<ClassFactory> factory;
    Result r = GetClassObject(clsid, kIidClassFactory, factory.Out());
    if (Failed(r))
        return r;
    if (!factory) {
        SetErrorText("the class " + clsid.ToString() + " gave a null class object");
        return kUnexpected;
    }
    r = factory->CreateInstance(nullptr, iid, out);
    if (Failed(r)) {
        *out = nullptr;
        SetErrorText("the class object of " + clsid.ToString() +
                     " did not create an object: " + DescribeResult(r));
    }
    return r;
}

Result ClassIdFromProgId(std::string_view progId, Guid* out) {
    if (!out) {
        SetErrorText("no place given for the class identifier");
        return kNullPointer;
    }
    *out = Guid();
    std::string path;
    std::string looked;
    const Result r = StoreFile::FindForLookup(
        [&](const RegistrationStore& store) {
            const auto clsid = store.FindProgId(progId);
            if (clsid)
                *out = *clsid;
            return clsid.has_value();
        },
        &path, &looked);
    if (r == kFalse) {
        SetErrorText("the ProgID \"" + std::string(progId) + "\" is unknown: " + looked);
        return kClassNotRegistered;
    }
    return Failed(r) ? r : kOk;
}

std::string LastActivationError() {
    return ErrorText();
}

}  // namespace component
