#pragma once

// Karvel's own options. Options Qt knows (single dash, such as -platform) are left to Qt.

#include <QString>

struct CommandLine {
    bool demo = false;
    bool listPorts = false;
    bool help = false;
    bool version = false;
    QString error;  // set when an argument is not understood
};

CommandLine ParseCommandLine(int argc, const char* const* argv);
QString UsageText();
// The version block: version number and the string table.
QString VersionText();
// Said when there is no display to show the panel on; `why` tells what was found.
QString NoDisplayText(const QString& why);
