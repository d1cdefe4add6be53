#include "Library.h"

#include <dlfcn.h>

#include <utility>

namespace component {

Library Library::Open(const std::string& canonicalPath, std::string* error) {
    Library library;
    if (canonicalPath.empty() || canonicalPath.front() != '/') {
        *error = "\"" + canonicalPath + "\" is not an absolute path";
        return library;
    }
    dlerror();
    library.m_handle = dlopen(canonicalPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library.m_handle) {
        const char* text = dlerror();
        *error = text ? text : "the loader gave no reason";
        return library;
    }
    library.m_path = canonicalPath;
    return library;
}

Library::Library(Library&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_path(std::move(other.m_path)) {}

Library& Library::operator=(Library&& other) noexcept {
    if (this != &other) {
        std::swap(m_handle, other.m_handle);
        std::swap(m_path, other.m_path);
    }
    return *this;
}

Library::~Library() {
    if (m_handle)
        dlclose(m_handle);
}

void* Library::Export(const char* name) const {
    if (!m_handle)
        return nullptr;
    return dlsym(m_handle, name);
}

}  // namespace component
