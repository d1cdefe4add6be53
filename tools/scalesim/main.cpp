// karvel-scalesim: simulated weighing scales on pseudo-terminals, for development, demos and
// tests. See SimUsage() for the command line.

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/cli/OptionTable.h"
#include "tools/scalesim/ModbusTransmitter.h"
#include "tools/scalesim/ScaleServer.h"
#include "tools/scalesim/SimOptions.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

int ServeModbus(const scalesim::SimOptions& options, const sigset_t& waitMask) {
    scalesim::ScaleModel model(options.seed + 1, options.framesPerSecond);
    if (options.itemGrams > 0)
        model.PackItems(options.itemGrams);
    if (options.loadGrams > 0)
        model.PlaceLoad(options.loadGrams);
    scalesim::ModbusTransmitter transmitter(std::move(model), options.framesPerSecond,
                                            options.quiet ? nullptr : stderr);
    std::string error;
    if (!transmitter.Start(*options.modbusTcp, &error)) {
        std::fprintf(stderr, "karvel-scalesim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\nready\n", transmitter.Address().c_str());
    std::fflush(stdout);
    transmitter.Run(g_stop, waitMask);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = scalesim::ParseSimOptions(args, &error);
    if (!options) {
        std::fputs(cli::UsageErrorText("karvel-scalesim", error).c_str(), stderr);
        return cli::kExitUsage;
    }
    if (options->help) {
        std::fputs(scalesim::SimUsage().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::puts("karvel-scalesim " KARVEL_VERSION);
        return 0;
    }

    // The stop signals are taken only while the server waits, so none slips in between its
    // check of the flag and its wait.
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader of our output that went away must not end us before the links are removed.
    std::signal(SIGPIPE, SIG_IGN);

    if (options->modbusTcp)
        return ServeModbus(*options, waitMask);
    std::uint64_t framesSent = 0;
    const bool served = [&] {
        scalesim::ScaleServer server(*options, options->quiet ? nullptr : stderr);
        if (!server.Start(&error))
            return false;
        for (const std::string& line : server.Describe())
            std::printf("%s\n", line.c_str());
        std::printf("ready\n");
        std::fflush(stdout);
        server.Run(g_stop, waitMask);
        framesSent = server.FramesSent();
        return true;
    }();
    // The server has removed its links. The folder goes only when nothing else is left in it,
    // so that a folder shared with anything else survives.
    if (options->removePortDir) {
        std::error_code ignored;
        std::filesystem::remove(options->portDir, ignored);
    }
    if (!served) {
        std::fprintf(stderr, "karvel-scalesim: %s\n", error.c_str());
        return 1;
    }
    std::printf("frames sent: %llu\n", static_cast<unsigned long long>(framesSent));
    return 0;
}
