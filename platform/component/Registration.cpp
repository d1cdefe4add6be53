#include "platform/component/Registration.h"

#include "platform/component/ErrorText.h"
#include "platform/component/RegistrationFault.h"
#include "platform/component/RegistrationStore.h"
#include "platform/component/StoreFile.h"
#include "platform/component/StoreLock.h"
#include "platform/component/StoreWriter.h"
#include "platform/component/TextFile.h"

namespace component {

struct RegistrationBatch::State {
    StoreWriter writer;
    Result opened = kOk;
    std::string error;
};

namespace {

thread_local RegistrationBatch::State* t_batch = nullptr;

bool FaultInjected(std::string_view step) {
    return RegistrationFaultInjected && RegistrationFaultInjected(step);
}

Result InjectedFault(std::string_view step) {
    SetErrorText("the " + std::string(step) + " step fails on purpose (a test build)");
    return kRegistryAccess;
}

Result BadArgument(std::string text) {
    SetErrorText(std::move(text));
    return kInvalidArgument;
}

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

// One atomic change of the current user's store; kFalse from `change` (nothing to do) counts
// as success.
Result ChangeStore(const std::function<Result(RegistrationStore&)>& change) {
    if (t_batch) {
        if (Failed(t_batch->opened)) {
            SetErrorText(t_batch->error);
            return t_batch->opened;
        }
        const Result r = change(t_batch->writer.Store());
        return Failed(r) ? r : kOk;
    }
    std::string error;
    const std::string path = StoreFile::Path(&error);
    if (path.empty()) {
        SetErrorText("the registration store cannot be found: " + error);
        return kRegistryAccess;
    }
    const Result r = StoreFile::Update(path, change, &error);
    if (Failed(r)) {
        if (!error.empty())
            SetErrorText(error);
        return r;
    }
    return kOk;
}

}  // namespace

RegistrationBatch::RegistrationBatch() {
    if (t_batch)
        return;
    m_state = std::make_unique<State>();
    const std::string path = StoreFile::Path(&m_state->error);
    if (path.empty()) {
        m_state->error = "the registration store cannot be found: " + m_state->error;
        m_state->opened = kRegistryAccess;
    } else {
        m_state->opened = m_state->writer.Open(path, kStoreLockWait, &m_state->error);
    }
    t_batch = m_state.get();
}

RegistrationBatch::~RegistrationBatch() {
    if (m_state)
        t_batch = nullptr;
}

Result RegistrationBatch::Commit() {
    if (!m_state)
        return kOk;
    Result r = m_state->opened;
    if (Succeeded(r))
        r = m_state->writer.Commit(&m_state->error);
    if (Failed(r))
        SetErrorText(m_state->error);
    return r;
}

Result RegisterTypeLibrary(const std::string& libraryPath, const Guid& libid, std::uint16_t major,
                           std::uint16_t minor, std::uint32_t lcid) {
    if (FaultInjected("typelib"))
        return InjectedFault("typelib");
    if (!IsAbsolute(libraryPath))
        return BadArgument("the type library's file \"" + libraryPath + "\" is not absolute");
    StoredTypeLibrary entry{{libid, major, minor}, lcid, libraryPath, DirectoryOf(libraryPath)};
    return ChangeStore(
        [&](RegistrationStore& store) { return store.PutTypeLibrary(entry) ? kOk : kFalse; });
}

Result UnregisterTypeLibrary(const Guid& libid, std::uint16_t major, std::uint16_t minor,
                             std::uint32_t lcid) {
    if (FaultInjected("typelib"))
        return InjectedFault("typelib");
    return ChangeStore([&](RegistrationStore& store) {
        return store.RemoveTypeLibrary({libid, major, minor}, lcid) ? kOk : kFalse;
    });
}

Result RegisterControlClass(const ControlClassRegistration& reg) {
    if (FaultInjected("class"))
        return InjectedFault("class");
    if (!IsAbsolute(reg.libraryPath))
        return BadArgument("the class's library \"" + reg.libraryPath + "\" is not absolute");
    if (!reg.progId.empty() && !IsValidProgId(reg.progId))
        return BadArgument("\"" + reg.progId + "\" is not a valid ProgID");
    StoredClass entry;
    entry.clsid = reg.clsid;
    entry.library = reg.libraryPath;
    entry.userTypeName = reg.userTypeName;
    entry.progId = reg.progId;
    entry.threading = reg.flags & kRegApartmentThreading ? "Apartment" : "";
    entry.control = true;
    entry.insertable = (reg.flags & kRegInsertable) != 0;
    entry.toolboxBitmap = reg.toolboxBitmapId;
    entry.miscStatus = reg.miscStatus;
    entry.typeLibrary = TypeLibraryVersion{reg.libid, reg.libMajor, reg.libMinor};
    return ChangeStore([&](RegistrationStore& store) {
        bool changed = store.PutClass(entry);
        if (!reg.progId.empty())
            changed = store.PutProgId({reg.progId, reg.clsid}) || changed;
        return changed ? kOk : kFalse;
    });
}

Result RegisterPropertyPageClass(const std::string& libraryPath, const Guid& clsid,
                                 const std::string& userTypeName) {
    if (FaultInjected("class"))
        return InjectedFault("class");
    if (!IsAbsolute(libraryPath))
        return BadArgument("the class's library \"" + libraryPath + "\" is not absolute");
    StoredClass entry;
    entry.clsid = clsid;
    entry.library = libraryPath;
    entry.userTypeName = userTypeName;
    return ChangeStore(
        [&](RegistrationStore& store) { return store.PutClass(entry) ? kOk : kFalse; });
}

Result UnregisterClass(const Guid& clsid, std::optional<std::string_view> progId) {
    if (FaultInjected("class"))
        return InjectedFault("class");
    return ChangeStore([&](RegistrationStore& store) {
        bool changed = store.RemoveClass(clsid);
        if (progId)
            changed = store.RemoveProgId(*progId, clsid) || changed;
        return changed ? kOk : kFalse;
    });
}

}  // namespace component
