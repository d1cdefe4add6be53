// The registration store's text as the reader meets it on disk: any bytes. A damaged text is an
// error with the file named and nothing read; an accepted one writes back to a text that reads
// back to the same contents, and that text is stable.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/component/RegistrationStore.h"

namespace {

const std::string kPath = "/fuzz/components.store";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using component::RegistrationStore;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    RegistrationStore store;
    std::string error;
    const component::Result r = RegistrationStore::Parse(text, kPath, &store, &error);
    if (r != component::kOk) {
        FUZZ_CHECK(r == component::kRegistryAccess, "a damaged store gives another error");
        FUZZ_CHECK(error.find(kPath) != std::string::npos, "the error does not name the file");
        FUZZ_CHECK(store.IsEmpty(), "a damaged store leaves entries behind");
        return 0;
    }

    for (const component::StoredClass& c : store.Classes()) {
        FUZZ_CHECK(!c.library.empty() && c.library.front() == '/',
                   "a class library path is not absolute");
        FUZZ_CHECK(store.FindClass(c.clsid) == &c, "a class is listed twice");
    }
    for (const component::StoredProgId& p : store.ProgIds())
        FUZZ_CHECK(component::IsValidProgId(p.progId), "an invalid ProgID was accepted");

    const std::string written = store.Format();
    RegistrationStore reread;
    error.clear();
    FUZZ_CHECK(RegistrationStore::Parse(written, kPath, &reread, &error) == component::kOk,
               "the store's own text is rejected");
    FUZZ_CHECK(reread.Format() == written, "the written text is not stable");
    FUZZ_CHECK(reread.ProgIds() == store.ProgIds(), "ProgIDs change when written");
    FUZZ_CHECK(reread.TypeLibraries() == store.TypeLibraries(),
               "type libraries change when written");
    FUZZ_CHECK(reread.Classes() == store.Classes(), "classes change when written");
    return 0;
}
