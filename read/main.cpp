// karvel-read: the scale without a screen.

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "read/ReadOptions.h"
#include "read/ReaderApp.h"

int main(int argc, char* argv[]) {
    // A closed output pipe is seen as EPIPE and ends the reader quietly.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<reader::ReadOptions> options = reader::ParseReadOptions(args, &error);
    if (!options) {
        reader::Say(error);
        std::fputs("Try 'karvel-read --help'.\n", stderr);
        return reader::kExitUsage;
    }
    if (options->help) {
        std::fputs(reader::ReadUsage().c_str(), stdout);
        return reader::kExitDone;
    }
    if (options->version) {
        std::printf("karvel-read %s\n", KARVEL_VERSION);
        return reader::kExitDone;
    }
    reader::ReadOptions chosen = *options;
    // A service's instance name is its device path without the leading slash.
    if (chosen.port.starts_with("dev/"))
        chosen.port.insert(0, "/");
    // A service receives the broker's password as a systemd credential.
    const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
    if (!chosen.mqtt.user.empty() && chosen.mqtt.passwordFile.empty() && credentials != nullptr)
        chosen.mqtt.passwordFile = std::string(credentials) + "/mqtt-password";
    // Qt's own event loop: the GLib one costs more at every wake-up, and nothing here needs it.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    reader::ReaderApp reader(chosen, qEnvironmentVariable("KARVEL_PORT_DIR").toStdString());
    if (const std::optional<int> code = reader.Start())
        return *code;
    return QCoreApplication::exec();
}
