#include "RecordOptions.h"

#include <cstring>
#include <string_view>

namespace {

// The value of option `name` at argv[*i]: joined ("--log=x") or the next argument. False when
// argv[*i] is not that option; `value` is then untouched.
bool TakeValue(int argc, const char* const* argv, int* i, const char* name, QString* value,
               bool* missing) {
    const char* arg = argv[*i];
    const std::size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0 || (arg[length] != '\0' && arg[length] != '='))
        return false;
    if (arg[length] == '=') {
        *value = QString::fromLocal8Bit(arg + length + 1);
    } else if (*i + 1 < argc) {
        *value = QString::fromLocal8Bit(argv[++*i]);
    }
    *missing = value->isEmpty();
    return true;
}

}  // namespace

bool TakeRecordOption(int argc, const char* const* argv, int* i, RecordOptions* options,
                      QString* error) {
    QString value;
    bool missing = false;
    if (TakeValue(argc, argv, i, "--log", &value, &missing)) {
        if (missing)
            *error = QStringLiteral("--log needs a file to append the readings to");
        options->logFile = value;
        return true;
    }
    if (TakeValue(argc, argv, i, "--capture", &value, &missing)) {
        const QByteArray name = value.toUtf8();
        options->rule = record::ParseRule(std::string_view(name.constData(), name.size()));
        if (!options->rule)
            *error = QStringLiteral(
                         "--capture %1: not a rule; give settled, data, change or "
                         "every")
                         .arg(value);
        return true;
    }
    return false;
}

QString RecordUsageText() {
    return QStringLiteral(
        "  --log FILE    append each captured reading to FILE as CSV (a header row when the\n"
        "                file is new or empty); never truncates; SIGHUP reopens FILE\n"
        "  --capture RULE\n"
        "                what is captured, for the log and the readings window:\n"
        "                settled (default): a new weight with the stable indicator lit;\n"
        "                data: the scale's data-sent indicator lights (DATA pressed);\n"
        "                change: the reading differs from the previous frame's;\n"
        "                every: every frame\n");
}
