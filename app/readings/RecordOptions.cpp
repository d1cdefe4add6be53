#include "app/readings/RecordOptions.h"

#include <string_view>

namespace {

// The value of option `name` at args[*i]: joined ("--log=x") or the next argument. False when
// args[*i] is not that option; `value` is then untouched.
bool TakeValue(const QStringList& args, qsizetype* i, QLatin1StringView name, QString* value,
               bool* missing) {
    const QString& arg = args[*i];
    if (!arg.startsWith(name) || (arg.size() != name.size() && arg[name.size()] != u'='))
        return false;
    if (arg.size() != name.size()) {
        *value = arg.mid(name.size() + 1);
    } else if (*i + 1 < args.size()) {
        *value = args[++*i];
    }
    *missing = value->isEmpty();
    return true;
}

}  // namespace

bool TakeRecordOption(const QStringList& args, qsizetype* i, RecordOptions* options,
                      QString* error) {
    QString value;
    bool missing = false;
    if (TakeValue(args, i, QLatin1StringView("--log"), &value, &missing)) {
        if (missing)
            *error = QStringLiteral("--log needs a file to append the readings to");
        options->logFile = value;
        return true;
    }
    if (TakeValue(args, i, QLatin1StringView("--capture"), &value, &missing)) {
        const QByteArray name = value.toUtf8();
        options->rule = record::ParseRule(std::string_view(name.constData(), name.size()));
        if (!options->rule)
            *error = QStringLiteral(
                         "--capture %1: not a rule; give settled, data, change or "
                         "every (or settled-all)")
                         .arg(value);
        return true;
    }
    if (TakeValue(args, i, QLatin1StringView("--min-weight"), &value, &missing)) {
        const QByteArray text = value.toUtf8();
        options->minWeight =
            record::ParseMinWeight(std::string_view(text.constData(), text.size()));
        if (!options->minWeight)
            *error = QStringLiteral(
                         "--min-weight %1: give a weight of 0 or more, in the scale's unit "
                         "(0.05)")
                         .arg(value);
        return true;
    }
    if (TakeValue(args, i, QLatin1StringView("--csv-decimal"), &value, &missing)) {
        const QByteArray sign = value.toUtf8();
        const auto dialect =
            record::ParseCsvDecimal(std::string_view(sign.constData(), sign.size()));
        if (!dialect)
            *error = QStringLiteral("--csv-decimal %1: give '.' or ','").arg(value);
        options->dialect = dialect.value_or(record::CsvDialect{});
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
        "                settled (default): a new weight with the stable indicator lit,\n"
        "                not the empty pan (zero lit or a value of 0);\n"
        "                settled-all: the same, the empty pan too;\n"
        "                data: the scale's data-sent indicator lights (DATA pressed);\n"
        "                change: the reading differs from the previous frame's;\n"
        "                every: every frame\n"
        "  --min-weight W\n"
        "                settled keeps a weight of W or more (either sign, in the scale's\n"
        "                unit) instead of skipping only the empty pan\n"
        "  --csv-decimal SIGN\n"
        "                '.' (default) or ',': the log and the CSV export with a decimal\n"
        "                comma and ';' between the fields, for a spreadsheet in such a\n"
        "                locale; a log begun in the other form is refused\n");
}
