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
    const std::string* Find(const std::string& key) const {
        const auto it = m_values.find(key);
        return it == m_values.end() ? nullptr : &it->second;
    }

  private:
    std::map<std::string, std::string> m_values;
};

// Hashes for the duplicate checks of Parse, which must stay linear in the size of the file.
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
    RegistrationStore store;
    int number = 0;
    bool haveHeader = false;
    std::optional<std::size_t> declaredCount;
    std::unordered_set<Guid, GuidHash> classes;
    std::unordered_set<std::string_view> progIds;
    std::unordered_set<TypeLibraryKey, TypeLibraryKeyHash> typeLibraries;
    auto fail = [&](const std::string& reason) {
        *error = "the registration store " + Printable(path) + " is damaged: line " +
                 std::to_string(number) + ": " + reason;
        return kRegistryAccess;
    };

    if (text.empty()) {
        *error = "the registration store " + Printable(path) + " is damaged: the file is empty";
        return kRegistryAccess;
    }
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::string_view line : lines) {
        ++number;
        if (line.empty() || line.front() == '#')
            continue;
        if (line.find('\0') != std::string_view::npos)
            return fail("the line holds a NUL byte");
        if (declaredCount)
            return fail("text after the end line");
        const std::vector<std::string_view> fields = SplitTabs(line);
        const std::string_view kind = fields[0];
        if (!haveHeader) {
            if (kind != kHeader || fields.size() != 2)
                return fail("expected the header \"karvel-component-store<TAB>1\"");
            std::uint64_t format = 0;
            if (!ParseUnsigned(fields[1], 0xFFFF, &format))
                return fail("the format number " + Quoted(fields[1]) + " is not a number");
            if (format != kFormat)
                return fail("format " + std::to_string(format) + " is not known here (this " +
                            "program reads format " + std::to_string(kFormat) + ")");
            haveHeader = true;
            continue;
        }
        if (kind == "end") {
            std::uint64_t count = 0;
            if (fields.size() != 2 || !ParseUnsigned(fields[1], 1u << 30, &count))
                return fail("the end line is malformed");
            declaredCount = count;
            continue;
        }
        if (fields.size() < 2)
            return fail("a " + Quoted(kind) + " record without its key");
        const std::span<const std::string_view> rest(fields.begin() + 2, fields.end());
        Fields values;
        auto required = [&](const char* key, std::string* target) {
            const std::string* v = values.Find(key);
            if (!v)
                return false;
            *target = *v;
            return true;
        };

        if (kind == "class") {
            StoredClass entry;
            const auto clsid = Guid::Parse(fields[1]);
            if (!clsid)
                return fail(Quoted(fields[1]) + " is not a class identifier");
            entry.clsid = *clsid;
            if (auto why =
                    values.Read(rest, {"library", "name", "progid", "threading", "control",
                                       "insertable", "toolbox", "misc", "typelib", "version"});
                !why.empty())
                return fail(why);
            if (!required("library", &entry.library) || !IsAbsolutePath(entry.library))
                return fail("the class " + clsid->ToString() + " has no absolute library path");
            required("name", &entry.userTypeName);
            required("progid", &entry.progId);
            required("threading", &entry.threading);
            if (const std::string* v = values.Find("control")) {
                if (*v != "0" && *v != "1")
                    return fail("control must be 0 or 1");
                entry.control = *v == "1";
            }
            if (const std::string* v = values.Find("insertable")) {
                if (*v != "0" && *v != "1")
                    return fail("insertable must be 0 or 1");
                entry.insertable = *v == "1";
            }
            std::uint64_t number64 = 0;
            if (const std::string* v = values.Find("toolbox")) {
                if (!ParseUnsigned(*v, 0x7FFFFFFF, &number64))
                    return fail("toolbox must be a number");
                entry.toolboxBitmap = static_cast<int>(number64);
            }
            if (const std::string* v = values.Find("misc")) {
                if (!ParseUnsigned(*v, 0xFFFFFFFF, &number64))
                    return fail("misc must be a 32-bit number");
                entry.miscStatus = static_cast<std::uint32_t>(number64);
            }
            const std::string* libid = values.Find("typelib");
            const std::string* version = values.Find("version");
            if (libid || version) {
                TypeLibraryVersion v;
                const auto parsed = libid ? Guid::Parse(*libid) : std::nullopt;
                if (!parsed || !version || !ParseVersion(*version, &v.major, &v.minor))
                    return fail("typelib and version must both be given, as {LIBID} and N.N");
                v.libid = *parsed;
                entry.typeLibrary = v;
            }
            if (!classes.insert(entry.clsid).second)
                return fail("the class " + clsid->ToString() + " is listed twice");
            store.m_classes.push_back(std::move(entry));
        } else if (kind == "progid") {
            StoredProgId entry;
            entry.progId = fields[1];
            if (!IsValidProgId(entry.progId))
                return fail(Quoted(entry.progId) + " is not a ProgID");
            if (auto why = values.Read(rest, {"clsid"}); !why.empty())
                return fail(why);
            std::string clsidText;
            const auto clsid =
                required("clsid", &clsidText) ? Guid::Parse(clsidText) : std::nullopt;
            if (!clsid)
                return fail("the ProgID " + entry.progId + " has no class identifier");
            entry.clsid = *clsid;
            if (!progIds.insert(fields[1]).second)
                return fail("the ProgID " + entry.progId + " is listed twice");
            store.m_progIds.push_back(std::move(entry));
        } else if (kind == "typelib") {
            StoredTypeLibrary entry;
            const auto libid = Guid::Parse(fields[1]);
            if (!libid)
                return fail(Quoted(fields[1]) + " is not a type library identifier");
            entry.version.libid = *libid;
            if (auto why = values.Read(rest, {"version", "lcid", "library", "helpdir"});
                !why.empty())
                return fail(why);
            std::string text64;
            std::uint64_t lcid = 0;
            if (!required("version", &text64) ||
                !ParseVersion(text64, &entry.version.major, &entry.version.minor))
                return fail("the type library needs version=N.N");
            if (!required("lcid", &text64) || !ParseUnsigned(text64, 0xFFFFFFFF, &lcid))
                return fail("the type library needs lcid=N");
            entry.lcid = static_cast<std::uint32_t>(lcid);
            if (!required("library", &entry.library) || !IsAbsolutePath(entry.library))
                return fail("the type library has no absolute library path");
            required("helpdir", &entry.helpDirectory);
            if (!typeLibraries.insert({entry.version, entry.lcid}).second)
                return fail("the type library is listed twice");
            store.m_typeLibraries.push_back(std::move(entry));
        } else {
            return fail("unknown record " + Quoted(kind));
        }
    }
    if (!haveHeader)
        return fail("the header line is missing");
    if (!text.ends_with('\n'))
        return fail("the last line is cut off");
    if (!declaredCount)
        return fail("the end line is missing (the file is cut off)");
    const std::size_t count =
        store.m_classes.size() + store.m_progIds.size() + store.m_typeLibraries.size();
    if (*declaredCount != count)
        return fail("the end line counts " + std::to_string(*declaredCount) + " records, but " +
                    std::to_string(count) + " were read");
    *out = std::move(store);
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
