#pragma once

// Karvel's own options. Options Qt knows (single dash, such as -platform) are left to Qt.

#include <QString>

#include "read/MqttOptions.h"

struct CommandLine {
    bool demo = false;
    bool listPorts = false;
    bool follow = false;  // with --list-ports: print the list again whenever it changes
    bool help = false;
    bool version = false;
    // --port COMn or a device path: open and watch that port instead of scanning; empty when
    // not given.
    QString port;
    reader::MqttOptions mqtt;  // --mqtt...: publish what the panel mirrors
    QString error;             // set when an argument is not understood
};

CommandLine ParseCommandLine(int argc, const char* const* argv);
// Whether `value` can name a port for --port: COM1 to COM32 (any letter case) or a path
// (anything with a slash). COMn names come back in upper case.
bool IsPortArgument(const QString& value, QString* normalised);
QString UsageText();
// The version block: version number and the string table.
QString VersionText();
// Said when there is no display to show the panel on; `why` tells what was found.
QString NoDisplayText(const QString& why);
