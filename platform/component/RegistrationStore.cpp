#include "platform/component/RegistrationStore.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <span>
#include <unordered_set>

#include "platform/component/ErrorText.h"
#include "platform/component/TextFile.h"

namespace component {

namespace {

constexpr std::string_view kHeader = "karvel-component-store";
constexpr int kFormat = 1;

std::string Quoted(std::string_view text) {
    return "\"" + Printable(text) + "\"";
}

std::string Escape(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool Unescape(std::string_view value, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            *out += value[i];
            continue;
        }
        if (++i == value.size())
            return false;
        switch (value[i]) {
            case '\\':
                *out += '\\';
                break;
            case 't':
                *out += '\t';
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            default:
                return false;
        }
    }
    return true;
}

bool ParseUnsigned(std::string_view text, std::uint64_t max, std::uint64_t* out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out, base);
    return ec == std::errc() && end == text.data() + text.size() && *out <= max;
}

bool ParseVersion(std::string_view text, std::uint16_t* major, std::uint16_t* minor) {
    const std::size_t dot = text.find('.');
    std::uint64_t a = 0, b = 0;
    if (dot == std::string_view::npos || !ParseUnsigned(text.substr(0, dot), 0xFFFF, &a) ||
        !ParseUnsigned(text.substr(dot + 1), 0xFFFF, &b))
        return false;
    *major = static_cast<std::uint16_t>(a);
    *minor = static_cast<std::uint16_t>(b);
    return true;
}

std::string VersionText(std::uint16_t major, std::uint16_t minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

// The key=value fields of one record, checked against the keys its kind allows.
class Fields {
  public:
    // Returns an empty string on success, else the reason.
    std::string Read(std::span<const std::string_view> raw,
                     std::initializer_list<std::string_view> allowed) {
        for (std::string_view field : raw) {
            const std::size_t eq = field.find('=');
            if (eq == std::string_view::npos || eq == 0)
                return "the field " + Quoted(field) + " is not key=value";
            const std::string key(field.substr(0, eq));
            if (std::find(allowed.begin(), allowed.end(), key) == allowed.end())
                return "unknown field " + Quoted(key);
            std::string value;
            if (!Unescape(field.substr(eq + 1), &value))
                return "the value of " + Quoted(key) + " has a bad escape";
            if (!m_values.emplace(key, std::move(value)).second)
                return "the field " + Quoted(key) + " appears twice";
        }
        return {};
    }
    // Copies the value of `key` to `target`; false when the field is absent.
    bool Copy(const std::string& key, std::string* target) const {
        const std::string* v = Find(key);
        if (v)
            *target = *v;
        return v != nullptr;
    }
    const std::string* Find(const std::string& key) const {
        const auto it = m_values.find(key);
        return it == m_values.end() ? nullptr : &it->second;
    }

  private:
    std::map<std::string, std::string> m_values;
};

// Hashes for the duplicate checks of the parser.
std::size_t HashGuid(const Guid& g) {
    std::uint64_t low = 0;
    for (std::uint8_t b : g.data4)
        low = low << 8 | b;
    const std::uint64_t high =
        std::uint64_t{g.data1} << 32 | std::uint64_t{g.data2} << 16 | g.data3;
    return std::hash<std::uint64_t>()(high * 0x9E3779B97F4A7C15ull ^ low);
}

struct GuidHash {
    std::size_t operator()(const Guid& g) const { return HashGuid(g); }
};

struct TypeLibraryKey {
    TypeLibraryVersion version;
    std::uint32_t lcid;
    bool operator==(const TypeLibraryKey&) const = default;
};

struct TypeLibraryKeyHash {
    std::size_t operator()(const TypeLibraryKey& k) const {
        return HashGuid(k.version.libid) ^
               std::hash<std::uint64_t>()(std::uint64_t{k.version.major} << 48 |
                                          std::uint64_t{k.version.minor} << 32 | k.lcid);
    }
};

bool IsAbsolutePath(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

// Reads one store text record by record. Each step returns the reason the text is damaged, or
// an empty string.
class StoreParser {
  public:
    // What was read, in the order of the file.
    std::vector<StoredClass> classes;
    std::vector<StoredProgId> progIds;
    std::vector<StoredTypeLibrary> typeLibraries;

    std::string Line(std::string_view line) {
        if (line.empty() || line.front() == '#')
            return {};
        if (line.find('\0') != std::string_view::npos)
            return "the line holds a NUL byte";
        if (m_declaredCount)
            return "text after the end line";
        const std::vector<std::string_view> fields = SplitTabs(line);
        if (!m_haveHeader)
            return Header(fields);
        const std::string_view kind = fields[0];
        if (kind == "end")
            return End(fields);
        if (fields.size() < 2)
            return "a " + Quoted(kind) + " record without its key";
        const std::span<const std::string_view> rest(fields.begin() + 2, fields.end());
        if (kind == "class")
            return Class(fields[1], rest);
        if (kind == "progid")
            return ProgId(fields[1], rest);
        if (kind == "typelib")
            return TypeLibrary(fields[1], rest);
        return "unknown record " + Quoted(kind);
    }

    // What is wrong with the text as a whole once every line was read.
    std::string Finish(std::string_view text) const {
        const std::size_t records = classes.size() + progIds.size() + typeLibraries.size();
        if (!m_haveHeader)
            return "the header line is missing";
        if (!text.ends_with('\n'))
            return "the last line is cut off";
        if (!m_declaredCount)
            return "the end line is missing (the file is cut off)";
        if (*m_declaredCount != records)
            return "the end line counts " + std::to_string(*m_declaredCount) + " records, but " +
                   std::to_string(records) + " were read";
        return {};
    }

  private:
    std::string Header(const std::vector<std::string_view>& fields) {
        if (fields[0] != kHeader || fields.size() != 2)
            return "expected the header \"karvel-component-store<TAB>1\"";
        std::uint64_t format = 0;
        if (!ParseUnsigned(fields[1], 0xFFFF, &format))
            return "the format number " + Quoted(fields[1]) + " is not a number";
        if (format != kFormat)
            return "format " + std::to_string(format) + " is not known here (this " +
                   "program reads format " + std::to_string(kFormat) + ")";
        m_haveHeader = true;
        return {};
    }

    std::string End(const std::vector<std::string_view>& fields) {
        std::uint64_t count = 0;
        if (fields.size() != 2 || !ParseUnsigned(fields[1], 1u << 30, &count))
            return "the end line is malformed";
        m_declaredCount = count;
        return {};
    }

    std::string Class(std::string_view key, std::span<const std::string_view> rest) {
        StoredClass entry;
        const auto clsid = Guid::Parse(key);
        if (!clsid)
            return Quoted(key) + " is not a class identifier";
        entry.clsid = *clsid;
        Fields values;
        if (auto why = values.Read(rest, {"library", "name", "progid", "threading", "control",
                                          "insertable", "toolbox", "misc", "typelib", "version"});
            !why.empty())
            return why;
        if (!values.Copy("library", &entry.library) || !IsAbsolutePath(entry.library))
            return "the class " + clsid->ToString() + " has no absolute library path";
        values.Copy("name", &entry.userTypeName);
        values.Copy("progid", &entry.progId);
        values.Copy("threading", &entry.threading);
        if (auto why = ControlFields(values, &entry); !why.empty())
            return why;
        if (auto why = ClassTypeLibrary(values, &entry); !why.empty())
            return why;
        if (!m_classes.insert(entry.clsid).second)
            return "the class " + clsid->ToString() + " is listed twice";
        classes.push_back(std::move(entry));
        return {};
    }

    static std::string ControlFields(const Fields& values, StoredClass* entry) {
        for (auto [key, target] :
             {std::pair{"control", &entry->control}, std::pair{"insertable", &entry->insertable}}) {
            if (const std::string* v = values.Find(key)) {
                if (*v != "0" && *v != "1")
                    return std::string(key) + " must be 0 or 1";
                *target = *v == "1";
            }
        }
        std::uint64_t number = 0;
        if (const std::string* v = values.Find("toolbox")) {
            if (!ParseUnsigned(*v, 0x7FFFFFFF, &number))
                return "toolbox must be a number";
            entry->toolboxBitmap = static_cast<int>(number);
        }
        if (const std::string* v = values.Find("misc")) {
            if (!ParseUnsigned(*v, 0xFFFFFFFF, &number))
                return "misc must be a 32-bit number";
            entry->miscStatus = static_cast<std::uint32_t>(number);
        }
        return {};
    }

    static std::string ClassTypeLibrary(const Fields& values, StoredClass* entry) {
        const std::string* libid = values.Find("typelib");
        const std::string* version = values.Find("version");
        if (!libid && !version)
            return {};
        TypeLibraryVersion v;
        const auto parsed = libid ? Guid::Parse(*libid) : std::nullopt;
        if (!parsed || !version || !ParseVersion(*version, &v.major, &v.minor))
            return "typelib and version must both be given, as {LIBID} and N.N";
        v.libid = *parsed;
        entry->typeLibrary = v;
        return {};
    }

    std::string ProgId(std::string_view key, std::span<const std::string_view> rest) {
        StoredProgId entry;
        entry.progId = key;
        if (!IsValidProgId(entry.progId))
            return Quoted(entry.progId) + " is not a ProgID";
        Fields values;
        if (auto why = values.Read(rest, {"clsid"}); !why.empty())
            return why;
        std::string clsidText;
        const auto clsid = values.Copy("clsid", &clsidText) ? Guid::Parse(clsidText) : std::nullopt;
        if (!clsid)
            return "the ProgID " + entry.progId + " has no class identifier";
        entry.clsid = *clsid;
        if (!m_progIds.insert(key).second)
            return "the ProgID " + entry.progId + " is listed twice";
        progIds.push_back(std::move(entry));
        return {};
    }

    std::string TypeLibrary(std::string_view key, std::span<const std::string_view> rest) {
        StoredTypeLibrary entry;
        const auto libid = Guid::Parse(key);
        if (!libid)
            return Quoted(key) + " is not a type library identifier";
        entry.version.libid = *libid;
        Fields values;
        if (auto why = values.Read(rest, {"version", "lcid", "library", "helpdir"}); !why.empty())
            return why;
        std::string text;
        std::uint64_t lcid = 0;
        if (!values.Copy("version", &text) ||
            !ParseVersion(text, &entry.version.major, &entry.version.minor))
            return "the type library needs version=N.N";
        if (!values.Copy("lcid", &text) || !ParseUnsigned(text, 0xFFFFFFFF, &lcid))
            return "the type library needs lcid=N";
        entry.lcid = static_cast<std::uint32_t>(lcid);
        if (!values.Copy("library", &entry.library) || !IsAbsolutePath(entry.library))
            return "the type library has no absolute library path";
        values.Copy("helpdir", &entry.helpDirectory);
        if (!m_typeLibraries.insert({entry.version, entry.lcid}).second)
            return "the type library is listed twice";
        typeLibraries.push_back(std::move(entry));
        return {};
    }

    bool m_haveHeader = false;
    std::optional<std::size_t> m_declaredCount;
    // Duplicate checks, which must stay linear in the size of the file.
    std::unordered_set<Guid, GuidHash> m_classes;
    std::unordered_set<std::string_view> m_progIds;
    std::unordered_set<TypeLibraryKey, TypeLibraryKeyHash> m_typeLibraries;
};

}  // namespace

bool IsValidProgId(std::string_view progId) {
    if (progId.empty() || progId.size() > 39 || (progId.front() >= '0' && progId.front() <= '9'))
        return false;
    return std::all_of(progId.begin(), progId.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_';
    });
}

Result RegistrationStore::Parse(std::string_view text, const std::string& path,
                                RegistrationStore* out, std::string* error) {
    *out = RegistrationStore();
    const std::string damaged = "the registration store " + Printable(path) + " is damaged: ";
    if (text.empty()) {
        *error = damaged + "the file is empty";
        return kRegistryAccess;
    }
    StoreParser parser;
    int number = 0;
    std::string why;
    for (std::string_view line : SplitLines(text)) {
        ++number;
        if (why = parser.Line(line); !why.empty())
            break;
    }
    if (why.empty())
        why = parser.Finish(text);
    if (!why.empty()) {
        *error = damaged + "line " + std::to_string(number) + ": " + why;
        return kRegistryAccess;
    }
    out->m_classes = std::move(parser.classes);
    out->m_progIds = std::move(parser.progIds);
    out->m_typeLibraries = std::move(parser.typeLibraries);
    return kOk;
}

std::string RegistrationStore::Format() const {
    std::string text;
    text += std::string(kHeader) + "\t" + std::to_string(kFormat) + "\n";
    text +=
        "# Component registrations of this user. Written by the component layer; change it "
        "with lumeq-register.\n";
    for (const StoredTypeLibrary& t : m_typeLibraries) {
        text += "typelib\t" + t.version.libid.ToString() +
                "\tversion=" + VersionText(t.version.major, t.version.minor) +
                "\tlcid=" + std::to_string(t.lcid) + "\tlibrary=" + Escape(t.library) +
                "\thelpdir=" + Escape(t.helpDirectory) + "\n";
    }
    for (const StoredClass& c : m_classes) {
        text += "class\t" + c.clsid.ToString() + "\tlibrary=" + Escape(c.library) +
                "\tname=" + Escape(c.userTypeName);
        if (!c.progId.empty())
            text += "\tprogid=" + Escape(c.progId);
        if (!c.threading.empty())
            text += "\tthreading=" + Escape(c.threading);
        if (c.control)
            text += "\tcontrol=1";
        // A class that is no control may still carry these; what was read is written back.
        if (c.control || c.insertable || c.toolboxBitmap != 0 || c.miscStatus != 0) {
            char misc[16];
            std::snprintf(misc, sizeof misc, "0x%08X", c.miscStatus);
            text += "\tinsertable=" + std::string(c.insertable ? "1" : "0") +
                    "\ttoolbox=" + std::to_string(c.toolboxBitmap) + "\tmisc=" + misc;
        }
        if (c.typeLibrary) {
            text += "\ttypelib=" + c.typeLibrary->libid.ToString() +
                    "\tversion=" + VersionText(c.typeLibrary->major, c.typeLibrary->minor);
        }
        text += "\n";
    }
    for (const StoredProgId& p : m_progIds)
        text += "progid\t" + Escape(p.progId) + "\tclsid=" + p.clsid.ToString() + "\n";
    const std::size_t count = m_classes.size() + m_progIds.size() + m_typeLibraries.size();
    text += "end\t" + std::to_string(count) + "\n";
    return text;
}

bool RegistrationStore::IsEmpty() const {
    return m_classes.empty() && m_progIds.empty() && m_typeLibraries.empty();
}

const StoredClass* RegistrationStore::FindClass(const Guid& clsid) const {
    for (const StoredClass& c : m_classes) {
        if (c.clsid == clsid)
            return &c;
    }
    return nullptr;
}

std::optional<Guid> RegistrationStore::FindProgId(std::string_view progId) const {
    for (const StoredProgId& p : m_progIds) {
        if (p.progId == progId)
            return p.clsid;
    }
    return std::nullopt;
}

const StoredTypeLibrary* RegistrationStore::FindTypeLibrary(const Guid& libid, std::uint16_t major,
                                                            std::uint16_t minor) const {
    const StoredTypeLibrary* best = nullptr;
    for (const StoredTypeLibrary& t : m_typeLibraries) {
        if (t.version.libid != libid || t.version.major != major || t.version.minor < minor)
            continue;
        if (!best || t.version.minor > best->version.minor ||
            (t.version.minor == best->version.minor && t.lcid == 0 && best->lcid != 0))
            best = &t;
    }
    return best;
}

bool RegistrationStore::PutClass(const StoredClass& entry) {
    for (StoredClass& c : m_classes) {
        if (c.clsid == entry.clsid) {
            if (c == entry)
                return false;
            c = entry;
            return true;
        }
    }
    m_classes.push_back(entry);
    return true;
}

bool RegistrationStore::RemoveClass(const Guid& clsid) {
    return std::erase_if(m_classes, [&](const StoredClass& c) { return c.clsid == clsid; }) > 0;
}

bool RegistrationStore::PutProgId(const StoredProgId& entry) {
    for (StoredProgId& p : m_progIds) {
        if (p.progId == entry.progId) {
            if (p == entry)
                return false;
            p = entry;
            return true;
        }
    }
    m_progIds.push_back(entry);
    return true;
}

bool RegistrationStore::RemoveProgId(std::string_view progId, const Guid& clsid) {
    return std::erase_if(m_progIds, [&](const StoredProgId& p) {
               return p.progId == progId && p.clsid == clsid;
           }) > 0;
}

bool RegistrationStore::PutTypeLibrary(const StoredTypeLibrary& entry) {
    for (StoredTypeLibrary& t : m_typeLibraries) {
        if (t.version == entry.version && t.lcid == entry.lcid) {
            if (t == entry)
                return false;
            t = entry;
            return true;
        }
    }
    m_typeLibraries.push_back(entry);
    return true;
}

bool RegistrationStore::RemoveTypeLibrary(const TypeLibraryVersion& version, std::uint32_t lcid) {
    return std::erase_if(m_typeLibraries, [&](const StoredTypeLibrary& t) {
               return t.version == version && t.lcid == lcid;
           }) > 0;
}

}  // namespace component
