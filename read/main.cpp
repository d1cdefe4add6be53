// karvel-read: the scale without a screen.

#include <QCoreApplication>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "link/HidSource.h"
#include "link/OwnWire.h"
#include "platform/posix/Environment.h"
#include "platform/serial/PortMap.h"
#include "platform/serial/PortNames.h"
#include "read/ReadOptions.h"
#include "read/ReaderApp.h"
#include "read/RecordTool.h"
#include "web/BoardApp.h"

int main(int argc, char* argv[]) {
    const posix::Environment environment = posix::Environment::FromProcess();
    // A closed output pipe is seen as EPIPE and ends the reader quietly.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const posix::Result<reader::ReadOptions> options =
        reader::ReadOptionsFrom(args, environment.credentials.has_value());
    if (!options) {
        std::fputs(cli::UsageErrorText("karvel-read", options.Error().text).c_str(), stderr);
        return reader::kExitUsage;
    }
    if (options->help) {
        std::fputs(reader::ReadUsage().c_str(), stdout);
        return reader::kExitDone;
    }
    if (options->version) {
        std::printf("karvel-read %s\nBuild %s\n", KARVEL_VERSION, KARVEL_BUILD_ID);
        return reader::kExitDone;
    }
    const hid::HidrawRoots hid = scale_link::HidRootsOf(environment);
    if (options->listPorts) {
        for (const serial_port::PortInfo& port :
             serial_port::PortMap(environment.portFolder).List())
            std::printf("%s\n", serial_port::PortLine(port).c_str());
        for (const std::string& scale : scale_link::HidScaleLines(hid))
            std::printf("%s\n", scale.c_str());
        return reader::kExitDone;
    }
    reader::ReadOptions chosen = *options;
    record::store::SettleRecordOptions(
        chosen.record, std::string("karvel-read ") + KARVEL_VERSION + " build " + KARVEL_BUILD_ID,
        environment.stateHome, environment.home, environment.credentials);
    if (chosen.record.Tool())
        return reader::RunRecordTool(chosen);
    // A service's instance name is its device path without the leading slash.
    if (chosen.port.starts_with("dev/"))
        chosen.port.insert(0, "/");
    // A service receives the broker's password as a systemd credential (a board's too).
    for (mqtt::MqttOptions* login : {&chosen.mqtt, &chosen.http.boardBroker}) {
        if (!login->user.empty() && login->passwordFile.empty() && environment.credentials)
            login->passwordFile = *environment.credentials + "/mqtt-password";
    }
    // A service receives the key token as a systemd credential.
    if (chosen.http.keys && chosen.http.tokenFile.empty() && environment.credentials)
        chosen.http.tokenFile = *environment.credentials + "/http-token";
    // Qt's own event loop: the GLib one costs more at every wake-up, and nothing here needs it.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    if (chosen.http.Board()) {
        web::BoardApp board(chosen.http, reader::Say);
        if (const posix::Status started = board.Start(); !started) {
            reader::Say("--board: " + started.Error().Describe());
            return reader::kExitUsage;
        }
        return QCoreApplication::exec();
    }
    reader::ReaderApp reader(chosen, environment.portFolder, hid);
    if (const std::optional<int> code = reader.Start())
        return *code;
    return QCoreApplication::exec();
}
