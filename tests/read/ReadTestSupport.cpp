#include "tests/read/ReadTestSupport.h"

#include <optional>

namespace readtest {

std::string ReaderPath() {
    return KARVEL_READ_PATH;
}

std::unique_ptr<Child> StartSimulator(const std::string& folder,
                                      const std::vector<std::string>& args) {
    std::vector<std::string> argv = {
        KARVEL_SCALESIM_PATH, "--port-dir", folder, "--com", "1", "--rate", "20", "--quiet"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto sim = std::make_unique<Child>(argv);
    std::optional<std::string> line;
    while ((line = sim->ReadLine()) && *line != "ready") {
    }
    return sim;
}

}  // namespace readtest
