#include "tools/register/SelfRegistration.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <ostream>

#include "platform/component/Activation.h"
#include "platform/component/ErrorText.h"
#include "platform/component/Interfaces.h"
#include "platform/component/LibraryCache.h"
#include "platform/component/StoreFile.h"

namespace lumeq_register {

namespace {

using namespace component;

std::string Code(Result r) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(r));
    return text;
}

// The store's problem, or empty when the library's update can read it (a store past the
// readers' limit still can, so that unregistering can shrink it).
std::string StoreProblem(std::string* path) {
    std::string error;
    *path = StoreFile::Path(&error);
    if (path->empty())
        return "the registration store cannot be found: " + error;
    RegistrationStore store;
    if (Failed(StoreFile::Load(*path, &store, &error, kStoreWriterReadLimit)))
        return error;
    return {};
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/')
        return path;
    std::string cwd(4096, '\0');
    if (!getcwd(cwd.data(), cwd.size()))
        return path;
    cwd.resize(cwd.find('\0'));
    return cwd + "/" + path;
}

bool LibraryExists(const std::string& path) {
    struct stat st {};
    return stat(AbsolutePath(path).c_str(), &st) == 0 || errno != ENOENT;
}

int RunSelfRegistration(const std::string& library, Direction direction, std::ostream& out,
                        std::ostream& err) {
    const char* exportName =
        direction == Direction::Register ? "DllRegisterServer" : "DllUnregisterServer";

    // The library reports a damaged store only as a code; say what is wrong before calling.
    std::string storePath;
    if (std::string problem = StoreProblem(&storePath); !problem.empty()) {
        err << "lumeq-register: " << problem << "\n"
            << "lumeq-register: repair or remove that file, then run again.\n";
        return kExitCannotRun;
    }

    const Library* loaded = nullptr;
    if (Failed(LoadCachedLibrary(AbsolutePath(library), &loaded))) {
        err << "lumeq-register: " << LastActivationError() << "\n";
        return kExitCannotRun;
    }
    const auto server = FindExport<RegisterServerFn>(*loaded, exportName);
    if (!server) {
        err << "lumeq-register: " << LastActivationError()
            << " (it is not a self-registering component library)\n";
        return kExitCannotRun;
    }

    const Result r = server();
    out << exportName << " in " << Printable(loaded->Path()) << " returned " << Code(r) << " ("
        << DescribeResult(r) << ")\n";
    if (Succeeded(r)) {
        out << (direction == Direction::Register ? "Registered in " : "Unregistered from ")
            << Printable(storePath) << "\n";
        return kExitSuccess;
    }
    // The library's own account of the failure is in its copy of the component layer; when it
    // does not give it, find out here whether the store is what failed it, and why.
    const auto reason = FindExport<GetErrorTextFn>(*loaded, "DllGetErrorText");
    std::string problem = reason && reason() ? reason() : "";
    if (problem.empty())
        problem = StoreProblem(&storePath);
    if (problem.empty() && Failed(StoreFile::CheckWritable(storePath, &problem)))
        problem =
            "the registration store " + Printable(storePath) + " cannot be written: " + problem;
    if (!problem.empty())
        err << "lumeq-register: " << Printable(problem) << "\n";
    return kExitServerFailed;
}

}  // namespace lumeq_register
