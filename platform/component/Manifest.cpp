#include "platform/component/Manifest.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

#include "platform/component/EnvironmentInUse.h"
#include "platform/component/ErrorText.h"
#include "platform/component/TextFile.h"

namespace component {

namespace {

std::string ProgramPath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

constexpr std::size_t kManifestLimit = 1 << 20;

std::string Quote(std::string_view text) {
    return "\"" + Printable(text) + "\"";
}

}  // namespace

std::vector<std::string> Manifest::PathsForProgram(bool* explicitlyNamed) {
    return PathsForProgram(EnvironmentInUse(), explicitlyNamed);
}

std::vector<std::string> Manifest::PathsForProgram(const posix::Environment& environment,
                                                   bool* explicitlyNamed) {
    if (const std::string& named = environment.componentManifest; !named.empty()) {
        *explicitlyNamed = true;
        return {named};
    }
    *explicitlyNamed = false;
    const std::string program = ProgramPath();
    if (program.empty())
        return {};
    const std::filesystem::path beside = program + ".manifest";
    const std::filesystem::path installed =
        beside.parent_path() / KARVEL_PRIVATE_DIR_FROM_PROGRAMS / beside.filename();
    return {beside.string(), installed.lexically_normal().string()};
}

Result Manifest::Read(const std::string& path, Manifest* out, std::string* error) {
    *out = Manifest();
    if (path.empty() || path.front() != '/') {
        *error = "the manifest path " + Quote(path) + " is not absolute";
        return kRegistryAccess;
    }
    std::string text;
    std::string reason;
    if (const int e = ReadTrustedText(path, kManifestLimit, &text, &reason); e != 0) {
        *error = "the manifest " + Printable(path) + " cannot be read: " + reason;
        return e == ENOENT ? kFileNotFound : kRegistryAccess;
    }

    // Editors on other systems start UTF-8 text with a byte-order mark.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.erase(0, 3);
    Manifest manifest;
    manifest.m_path = path;
    const std::string directory = DirectoryOf(path);
    int number = 0;
    for (std::string_view raw : SplitLines(text)) {
        ++number;
        const std::string_view line = TrimBlanks(raw);
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = Printable(path) + ":" + std::to_string(number) + ": ";
        auto fail = [&](const std::string& why) {
            *error = where + why;
            return kRegistryAccess;
        };
        if (line.find('\0') != std::string_view::npos)
            return fail("the line holds a NUL byte");

        const std::size_t keywordEnd = line.find_first_of(" \t");
        if (line.substr(0, keywordEnd) != "class" || keywordEnd == std::string_view::npos)
            return fail("expected \"class {CLSID} LIBRARY\", found " + Quote(line));
        const std::string_view rest = TrimBlanks(line.substr(keywordEnd));
        const std::size_t guidEnd = rest.find_first_of(" \t");
        const std::string_view guidText = rest.substr(0, guidEnd);
        const std::optional<Guid> clsid = Guid::Parse(guidText);
        if (!clsid)
            return fail(Quote(guidText) + " is not a class identifier of the form {" +
                        "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        const std::string_view library = guidEnd == std::string_view::npos
                                             ? std::string_view()
                                             : TrimBlanks(rest.substr(guidEnd));
        if (library.empty())
            return fail("the class " + clsid->ToString() + " names no library file");
        for (const Entry& earlier : manifest.m_entries) {
            if (earlier.clsid == *clsid)
                return fail("the class " + clsid->ToString() + " is already listed on line " +
                            std::to_string(earlier.line));
        }
        std::string absolute = library.front() == '/' ? std::string(library)
                                                      : (directory == "/" ? "" : directory) + "/" +
                                                            std::string(library);
        manifest.m_entries.push_back({*clsid, std::move(absolute), number});
    }
    *out = std::move(manifest);
    return kOk;
}

std::optional<std::string> Manifest::LibraryFor(const Guid& clsid) const {
    for (const Entry& entry : m_entries) {
        if (entry.clsid == clsid)
            return entry.library;
    }
    return std::nullopt;
}

}  // namespace component
