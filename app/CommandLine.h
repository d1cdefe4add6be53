#pragma once

// Karvel's own options. Qt's options (-platform, -style, -reverse, ... with one dash or two) are
// left to Qt: they are skipped with their values, so they may come in any place.

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

#include "app/readings/RecordOptions.h"

#include "link/FamilyLink.h"
#include "link/ModbusMap.h"
#include "link/OwnWire.h"
#include "mqtt/MqttOptions.h"
#include "record/WeighingOptions.h"
#include "record/store/RecordOptions.h"
#include "scale/families/FamilyOptions.h"
#include "wedge/TypeOptions.h"

struct CommandLine {
    bool demo = false;
    bool listPorts = false;
    bool follow = false;  // with --list-ports: print the list again whenever it changes
    bool help = false;
    bool version = false;
    // -platform was given: Qt is told where to show the panel, whatever the environment says.
    bool platformNamed = false;
    // --port COMn, a device path or a wire (tcp://, rfc2217://, a Modbus port, a USB HID scale):
    // open and watch that port instead of scanning; empty when not given.
    QString port;
    // --modbus: where a transmitter on a Modbus port keeps its weight
    std::optional<scale_link::ModbusMap> modbus;
    std::string modbusText;  // that map as it was written
    RecordOptions record;    // --log, --capture
    mqtt::MqttOptions mqtt;  // --mqtt...: publish what the panel mirrors
    // --type...: type captured readings into the focused window (also from the context menu).
    wedge::TypeOptions type;
    // --id NAME: the scale's name in what --mqtt publishes; empty: from the device.
    std::string id;
    // --protocol, --line, --pattern: a scale of this family instead of the scan.
    scale::families::FamilyOptions family;
    record::WeighingOptions bench;  // --check, --count-pieces, --print-ticket...
    // --record, --record-password-file, --operator: every captured weighing kept first.
    record::store::RecordOptions weighingRecord;
    QString error;  // set when an argument is not understood
};

// The family the panel reads instead of the engine's scan; none for plain Karvel. The engine
// reads only local ports: a network wire is read by the family link, in the panel's own
// protocol unless --protocol names another.
std::optional<scale_link::FamilyLink::Choice> PanelFamily(const CommandLine& cmd);
// The wire the panel reads by a Source of its own (a Modbus port, a USB HID scale); none for any
// other port.
std::optional<scale_link::OwnWire> PanelOwnWire(const CommandLine& cmd);

// `arguments` as main() receives them, the program's name first; also what is left of them
// once the application object has taken the options it knows.
CommandLine ParseCommandLine(const QStringList& arguments);
QStringList ArgumentsOf(int argc, const char* const* argv);
QString UsageText();
// The program, its version and its licence, as GNU programs print them, then its build.
QString VersionText();
// "Karvel 1.0.0.1 build 3b441fc0a1b2": the program as the weighing record names it, with the
// build --version also prints.
std::string SoftwareText();
// Said when there is no display to show the panel on; `why` tells what was found.
QString NoDisplayText(const QString& why);
