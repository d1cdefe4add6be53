#include "platform/cli/OptionTable.h"

#include <utility>

namespace cli {
namespace {

constexpr std::size_t kWidth = 80;

bool LooksLikeOption(std::string_view arg) {
    return arg.size() > 1 && arg.starts_with('-');
}

// "--opt VALUE", "--opt[=VALUE]" or "--opt", with "-h, " before it when there is an alias.
std::string Entry(const Option& option) {
    std::string entry = option.alias.empty() ? option.name : option.alias + ", " + option.name;
    if (option.takes == Takes::kOptionalValue)
        entry += "[=" + option.value + "]";
    else if (option.takes == Takes::kValue)
        entry += " " + option.value;
    return entry;
}

// `text` wrapped at word boundaries into lines that begin at `column`; the first line is
// appended to `out` as it stands.
void Wrap(std::string_view text, std::size_t column, std::size_t used, std::string& out) {
    const std::string indent(column, ' ');
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find_first_of(" \n", at);
        const std::string_view word = text.substr(at, end - at);
        if (used > column && used + 1 + word.size() >= kWidth) {
            out += "\n" + indent;
            used = column;
        } else if (used > column) {
            out += ' ';
            ++used;
        }
        out += word;
        used += word.size();
        if (end == std::string_view::npos)
            break;
        if (text[end] == '\n') {
            out += "\n" + indent;
            used = column;
        }
        at = end + 1;
    }
    out += '\n';
}

}  // namespace

posix::Status Refuse(std::string message) {
    return posix::SystemError::Because(std::move(message));
}

Apply Set(bool& flag) {
    return [&flag](std::optional<std::string_view>) {
        flag = true;
        return posix::Success();
    };
}

Apply Keep(std::string& into, std::string needs) {
    return [&into, needs = std::move(needs)](std::optional<std::string_view> value) {
        into = std::string(value.value_or(""));
        return into.empty() ? Refuse(needs) : posix::Success();
    };
}

void AddHelpAndVersion(OptionTable& table, bool& help, bool& version, std::string versionHelp) {
    table.Add({.name = "--help", .help = "print this text", .apply = Set(help), .alias = "-h"});
    table.Add({.name = "--version", .help = std::move(versionHelp), .apply = Set(version)});
}

void OptionTable::Add(Option option) {
    if ((option.programs & m_program) == 0)
        return;
    if (option.takes == Takes::kNothing && !option.value.empty())
        option.takes = Takes::kValue;
    m_options.push_back(std::move(option));
}

const Option* OptionTable::Find(std::string_view name) const {
    for (const Option& option : m_options) {
        if (option.name == name || (!option.alias.empty() && option.alias == name))
            return &option;
    }
    return nullptr;
}

posix::Status OptionTable::Take(std::span<const std::string_view> args, std::size_t* at) const {
    const std::string_view arg = args[*at];
    const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
    const Option* option = Find(arg.substr(0, equals));
    if (!option) {
        if (const std::size_t foreign = m_foreign ? m_foreign(args, *at) : 0) {
            *at += foreign;
            return posix::Success();
        }
        return Refuse("unknown argument: " + std::string(arg) +
                      (LooksLikeOption(arg) ? ": no such option" : ""));
    }
    ++*at;
    std::optional<std::string_view> value;
    if (equals != std::string_view::npos) {
        if (option->takes == Takes::kNothing)
            return Refuse(option->name + " takes no value");
        value = arg.substr(equals + 1);
    } else if (option->takes == Takes::kValue) {
        if (*at >= args.size())
            return Refuse(option->name + " needs a value");
        value = args[(*at)++];
    } else if (option->takes == Takes::kOptionalValue && *at < args.size() &&
               !args[*at].starts_with('-')) {
        value = args[(*at)++];
    }
    return option->apply(value);
}

posix::Status OptionTable::Parse(std::span<const std::string_view> args) const {
    for (std::size_t at = 0; at < args.size();) {
        if (posix::Status taken = Take(args, &at); !taken)
            return taken;
    }
    return posix::Success();
}

std::string OptionTable::Usage(std::string_view program) const {
    std::string text;
    for (const Option& option : m_options) {
        if (option.hidden)
            continue;
        std::string entry = Entry(option);
        if (!option.alias.empty())
            entry.replace(option.alias.size(), 2, "|");
        text += (text.empty() ? "[" : " [") + entry + "]";
    }
    const std::string head = "Usage: " + std::string(program) + " ";
    std::string out = head;
    // Brackets never split: a space inside one is no place to wrap.
    std::string words;
    int depth = 0;
    for (const char c : text) {
        depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        words += c == ' ' && depth > 0 ? '\x01' : c;
    }
    Wrap(words, head.size(), head.size(), out);
    for (char& c : out)
        c = c == '\x01' ? ' ' : c;
    return out;
}

std::string OptionTable::Help(std::size_t column) const {
    std::string out;
    for (const Option& option : m_options) {
        if (option.hidden)
            continue;
        std::string line = "  " + Entry(option);
        if (line.size() >= column) {
            out += line + "\n" + std::string(column, ' ');
        } else {
            line.resize(column, ' ');
            out += line;
        }
        Wrap(option.help, column, column, out);
    }
    return out;
}

std::vector<std::string> OptionTable::Names() const {
    std::vector<std::string> names;
    for (const Option& option : m_options) {
        if (option.hidden)
            continue;
        if (!option.alias.empty())
            names.push_back(option.alias);
        names.push_back(option.name);
    }
    return names;
}

std::string UsageErrorText(std::string_view program, std::string_view message) {
    return std::string(program) + ": " + std::string(message) + "\nTry '" + std::string(program) +
           " --help'.\n";
}

}  // namespace cli
