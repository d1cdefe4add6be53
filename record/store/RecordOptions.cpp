#include "record/store/RecordOptions.h"

#include <unistd.h>

#include "record/Ticket.h"
#include "record/store/Chain.h"

namespace record::store {
namespace {

using cli::Refuse;
using Value = std::optional<std::string_view>;

// "2026-12-09", "2026-12-09T10:00", "2026-12-09T10:00:00.5Z": a UTC time the rows' times are
// compared with as text.
bool IsTimeText(std::string_view text) {
    if (text.size() < 10 || text.size() > 24)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        const bool ok = i == 4 || i == 7 ? c == '-'
                        : i == 10        ? c == 'T'
                                         : digit || c == ':' || c == '.' || c == 'Z';
        if (!ok)
            return false;
    }
    return true;
}

cli::Apply KeepTime(std::string& into, std::string name) {
    return [&into, name](Value value) {
        if (!IsTimeText(*value))
            return Refuse(name + " needs a UTC time such as 2026-12-09 or 2026-12-09T10:00:00Z");
        into = *value;
        if (into.back() == 'Z')
            into.pop_back();
        return posix::Success();
    };
}

bool PostgresUrl(std::string_view url) {
    return url.starts_with("postgresql://") || url.starts_with("postgres://");
}

}  // namespace

void AddRecordOptions(cli::OptionTable& table, RecordOptions& options) {
    table.Add(
        {.name = "--record",
         .value = "URL",
         .help =
             "keep every captured weighing in the weighing record before it goes "
             "anywhere else, chained by SHA-256: sqlite:PATH, postgresql://USER@HOST[:PORT]/DB, or "
             "without URL $XDG_STATE_HOME/karvel/weighings.sqlite",
         .apply =
             [&options](Value value) {
                 options.enabled = true;
                 options.url = value.value_or("");
                 return posix::Success();
             },
         .programs = cli::kBoth,
         .takes = cli::Takes::kOptionalValue});
    table.Add({.name = "--record-password-file",
               .value = "FILE",
               .help = "the PostgreSQL password of --record, the file's first line (as for "
                       "--mqtt-password-file); else the service credential record-password, or "
                       "libpq's own PGPASSFILE",
               .apply = cli::Keep(options.passwordFile, "--record-password-file needs a file"),
               .programs = cli::kBoth});
    table.Add({.name = "--operator",
               .value = "NAME",
               .help = "who weighs, kept with each weighing of --record",
               .apply = cli::Keep(options.operatorName, "--operator needs a name"),
               .programs = cli::kBoth});
    table.Add({.name = "--verify",
               .help = "check every chain of the record (--record URL, else the default file) "
                       "and say where the first row of each scale was changed, removed or put in",
               .apply = cli::Set(options.verify),
               .programs = cli::kReader});
    table.Add({.name = "--records",
               .help = "print the record's weighings in --format jsonl or csv, oldest first, or "
                       "write them to "
                       "--output FILE with --format xlsx",
               .apply = cli::Set(options.list),
               .programs = cli::kReader});
    table.Add({.name = "--scale",
               .value = "ID",
               .help = "with --records: only this scale's weighings",
               .apply = cli::Keep(options.scale, "--scale needs a scale's id"),
               .programs = cli::kReader});
    table.Add({.name = "--since",
               .value = "TIME",
               .help = "with --records: weighings at or after this UTC time (2026-12-09T10:00)",
               .apply = KeepTime(options.since, "--since"),
               .programs = cli::kReader});
    table.Add({.name = "--until",
               .value = "TIME",
               .help = "with --records: weighings before this UTC time",
               .apply = KeepTime(options.until, "--until"),
               .programs = cli::kReader});
}

posix::Status CheckRecordOptions(const RecordOptions& options) {
    if (options.verify && options.list)
        return Refuse("--verify and --records are two runs: give one of them");
    if (!options.list &&
        (!options.scale.empty() || !options.since.empty() || !options.until.empty()))
        return Refuse("--scale, --since and --until choose what --records prints");
    if (!options.operatorName.empty() && !options.enabled)
        return Refuse("--operator is kept with the weighings of --record: it needs --record");
    if (!options.passwordFile.empty() && !options.enabled)
        return Refuse("--record-password-file goes with --record postgresql://...");
    if (options.enabled) {
        if (posix::Result<RecordPlace> place = PlaceOf(options.url, "-"); !place)
            return place.Error();
    }
    return posix::Success();
}

std::string DefaultRecordPath(const std::string& stateHome, const std::string& home) {
    return StateFolder(stateHome, home) + "/weighings.sqlite";
}

std::string SpoolPath(const std::string& stateHome, const std::string& home,
                      const std::string& url) {
    // One spool per database: rows linked for one never go to another.
    return StateFolder(stateHome, home) + "/record-spool-" + HashOfText(url).substr(0, 16) +
           ".sqlite";
}

void SettleRecordOptions(RecordOptions& options, std::string software, const std::string& stateHome,
                         const std::string& home, const std::optional<std::string>& credentials) {
    options.software = std::move(software);
    if (options.url.empty())
        options.url = "sqlite:" + DefaultRecordPath(stateHome, home);
    options.spool = SpoolPath(stateHome, home, options.url);
    // A service receives the record's database password as a systemd credential.
    if (credentials && options.passwordFile.empty() &&
        ::access((*credentials + "/record-password").c_str(), F_OK) == 0)
        options.passwordFile = *credentials + "/record-password";
}

posix::Result<RecordPlace> PlaceOf(const std::string& url, const std::string& defaultPath) {
    if (url.empty())
        return RecordPlace{false, defaultPath};
    if (url.starts_with("sqlite:") && url.size() > 7)
        return RecordPlace{false, url.substr(7)};
    if (PostgresUrl(url)) {
        const std::string_view login = std::string_view(url).substr(url.find("//") + 2);
        const std::size_t at = login.find('@');
        if ((at != std::string_view::npos &&
             login.substr(0, at).find(':') != std::string_view::npos) ||
            login.find("password=") != std::string_view::npos)
            return posix::SystemError::Because(
                "--record: a password in the URL is refused (it would show in the process list)");
        return RecordPlace{true, url};
    }
    return posix::SystemError::Because("--record: '" + url +
                                       "' is neither sqlite:PATH nor postgresql://USER@HOST/DB");
}

}  // namespace record::store
