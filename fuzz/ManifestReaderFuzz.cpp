// The application manifest as the reader meets it beside a program: any bytes. The reader only
// takes a path, so each input is written to one file on a memory file system first.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/component/Guid.h"
#include "platform/component/Manifest.h"

namespace {

// A directory of this process's own, removed at exit.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        m_path = std::string(base) + "/karvel-fuzz-manifest-XXXXXX";
        if (mkdtemp(m_path.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_file = m_path + "/program.manifest";
    }
    ~ScratchDirectory() {
        unlink(m_file.c_str());
        rmdir(m_path.c_str());
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Directory() const { return m_path; }
    const std::string& File() const { return m_file; }

  private:
    std::string m_path;
    std::string m_file;
};

const ScratchDirectory& Scratch() {
    static const ScratchDirectory scratch;
    return scratch;
}

void WriteWhole(const std::string& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr, "cannot write the manifest file");
    const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
    FUZZ_CHECK(std::fclose(f) == 0 && written == bytes.size(), "cannot write the manifest file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ScratchDirectory& scratch = Scratch();
    WriteWhole(scratch.File(), text);

    component::Manifest manifest;
    std::string error;
    const component::Result r = component::Manifest::Read(scratch.File(), &manifest, &error);
    if (r != component::kOk) {
        FUZZ_CHECK(r == component::kRegistryAccess, "a damaged manifest gives another error");
        FUZZ_CHECK(error.starts_with(scratch.File() + ":"),
                   "the error does not name the file and line");
        FUZZ_CHECK(manifest.Path().empty(), "a damaged manifest is half read");
        return 0;
    }
    FUZZ_CHECK(manifest.Path() == scratch.File(), "the manifest forgets where it came from");

    // Every identifier-shaped piece of the text may name a class; what the manifest serves it
    // from must be one absolute path on one line, the one the text names.
    for (std::size_t at = text.find('{'); at != std::string_view::npos;
         at = text.find('{', at + 1)) {
        const auto clsid = component::Guid::Parse(text.substr(at, 38));
        if (!clsid)
            continue;
        if (const auto library = manifest.LibraryFor(*clsid)) {
            FUZZ_CHECK(!library->empty() && library->front() == '/',
                       "a library path is not absolute");
            FUZZ_CHECK(library->find_first_of(std::string_view("\n\0", 2)) == std::string::npos,
                       "a library path holds a line end or NUL");
            // An absolute path is taken as written; a relative one hangs off the manifest's
            // directory. Either way the named part is in the text, without its blanks.
            std::string_view named = *library;
            const std::string base = scratch.Directory() + "/";
            if (text.find(named) == std::string_view::npos && named.starts_with(base))
                named.remove_prefix(base.size());
            FUZZ_CHECK(!named.empty() && text.find(named) != std::string_view::npos,
                       "the library is not the path the manifest names");
            auto blank = [](char c) { return c == ' ' || c == '\t'; };
            FUZZ_CHECK(!blank(named.front()) && !blank(named.back()),
                       "a library path keeps blanks around it");
        }
    }
    return 0;
}
