#pragma once

// Loads component libraries by absolute path and keeps them for the life of the process.

#include <string>

#include "platform/component/Library.h"
#include "platform/component/Result.h"

namespace component {

// Canonicalises `path` (which must be absolute: a bare name or a path relative to the current
// directory is refused) and loads it once per process. On success `*out` stays valid until the
// process ends. kCannotLoadLibrary on failure, with the reason in ErrorText().
// Any thread.
Result LoadCachedLibrary(const std::string& path, const Library** out);

// The export `name` of `library` as a function pointer of type Fn, or null with the reason in
// ErrorText().
template <typename Fn>
Fn FindExport(const Library& library, const char* name);

// Implementation detail of FindExport.
void* FindExportAddress(const Library& library, const char* name);

template <typename Fn>
Fn FindExport(const Library& library, const char* name) {
    return reinterpret_cast<Fn>(FindExportAddress(library, name));
}

}  // namespace component
