#include "wedge/X11Sink.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <thread>
#include <vector>

#include "wedge/Keysyms.h"

namespace wedge {
namespace {

// A client that looks its map up only when it reads a key (Xlib does) must still find the
// spare key's new symbol when it gets to the key: the map is cleared only after this.
constexpr auto kSpareKeyKept = std::chrono::milliseconds(60);

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
struct KeyboardFree {
    void operator()(XkbDescPtr xkb) const { XkbFreeKeyboard(xkb, 0, True); }
};
struct ModifierMapFree {
    void operator()(XModifierKeymap* map) const { XFreeModifiermap(map); }
};

struct Place {
    KeyCode key = 0;
    unsigned mods = 0;  // the real modifiers its level needs
};

}  // namespace

struct X11Sink::Connection {
    std::unique_ptr<Display, DisplayCloser> display;
};

std::unique_ptr<X11Sink> X11Sink::Open(const std::string& display, std::string* error) {
    if (display.empty()) {
        *error = "DISPLAY is not set";
        return nullptr;
    }
    auto connection = std::make_unique<Connection>();
    connection->display.reset(XOpenDisplay(display.c_str()));
    if (!connection->display) {
        *error = "cannot open the X display '" + display + "'";
        return nullptr;
    }
    int event = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(connection->display.get(), &event, &errorBase, &major, &minor)) {
        *error = "the X server of '" + display + "' has no XTEST extension";
        return nullptr;
    }
    int opcode = 0;
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    if (!XkbQueryExtension(connection->display.get(), &opcode, &event, &errorBase, &major,
                           &minor)) {
        *error = "the X server of '" + display + "' has no keyboard extension (XKB)";
        return nullptr;
    }
    return std::unique_ptr<X11Sink>(new X11Sink(std::move(connection)));
}

X11Sink::X11Sink(std::unique_ptr<Connection> connection) : m_x(std::move(connection)) {}

X11Sink::~X11Sink() = default;

bool X11Sink::UserHoldsKey() {
    char keys[32] = {};
    XQueryKeymap(m_x->display.get(), keys);
    for (const char byte : keys) {
        if (byte != 0)
            return true;
    }
    return false;
}

std::optional<unsigned long> X11Sink::Focus() {
    Display* display = m_x->display.get();
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus != PointerRoot)
        return focus;
    Window root = None;
    Window child = None;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y,
                  &mask);
    return child;
}

namespace {

// The key and level of `sym` in the current group of the running map, the level needing the
// fewest modifiers; never one that needs Lock or Control.
std::optional<Place> FindKey(Display* display, KeySym sym) {
    const std::unique_ptr<std::remove_pointer_t<XkbDescPtr>, KeyboardFree> xkb(
        XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd));
    if (!xkb)
        return std::nullopt;
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    std::optional<Place> best;
    for (int code = xkb->min_key_code; code <= xkb->max_key_code; ++code) {
        const auto key = static_cast<KeyCode>(code);
        const int groups = XkbKeyNumGroups(xkb.get(), key);
        if (groups == 0)
            continue;
        const int group = state.group < groups ? state.group : 0;
        const XkbKeyTypePtr type = XkbKeyKeyType(xkb.get(), key, group);
        const int width = XkbKeyGroupWidth(xkb.get(), key, group);
        for (int level = 0; level < width; ++level) {
            if (XkbKeySymEntry(xkb.get(), key, level, group) != sym)
                continue;
            std::optional<unsigned> mods;
            if (level == 0)
                mods = 0;
            for (int i = 0; !mods && i < type->map_count; ++i) {
                const XkbKTMapEntryRec& entry = type->map[i];
                if (entry.active && entry.level == level &&
                    (entry.mods.mask & (LockMask | ControlMask)) == 0)
                    mods = entry.mods.mask;
            }
            if (mods && (!best || std::popcount(*mods) < std::popcount(best->mods)))
                best = Place{key, *mods};
        }
    }
    return best;
}

// A key for each modifier bit that `mods` holds; empty when one has no key.
std::vector<KeyCode> ModifierKeys(Display* display, unsigned mods) {
    const std::unique_ptr<XModifierKeymap, ModifierMapFree> map(XGetModifierMapping(display));
    std::vector<KeyCode> keys;
    for (int bit = 0; bit < 8; ++bit) {
        if ((mods & (1u << bit)) == 0)
            continue;
        KeyCode found = 0;
        for (int i = 0; !found && i < map->max_keypermod; ++i)
            found = map->modifiermap[bit * map->max_keypermod + i];
        if (!found)
            return {};
        keys.push_back(found);
    }
    return keys;
}

// A key with no symbol at all, or 0.
KeyCode SpareKey(Display* display, int* perKey) {
    int low = 0, high = 0;
    XDisplayKeycodes(display, &low, &high);
    KeySym* syms = XGetKeyboardMapping(display, static_cast<KeyCode>(low), high - low + 1, perKey);
    if (!syms)
        return 0;
    KeyCode spare = 0;
    for (int code = high; code >= low && !spare; --code) {
        bool empty = true;
        for (int i = 0; i < *perKey && empty; ++i)
            empty = syms[(code - low) * *perKey + i] == NoSymbol;
        if (empty)
            spare = static_cast<KeyCode>(code);
    }
    XFree(syms);
    return spare;
}

// A Caps Lock the user left on would turn a unit's letters into capitals: it is off while a
// stroke is typed, and on again after it.
class CapsLockOff {
  public:
    explicit CapsLockOff(Display* display) : m_display(display) {
        XkbStateRec state{};
        XkbGetState(display, XkbUseCoreKbd, &state);
        m_locked = (state.locked_mods & LockMask) != 0;
        if (m_locked)
            Lock(false);
    }
    ~CapsLockOff() {
        if (m_locked)
            Lock(true);
    }
    CapsLockOff(const CapsLockOff&) = delete;
    CapsLockOff& operator=(const CapsLockOff&) = delete;

  private:
    void Lock(bool on) {
        XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
        XSync(m_display, False);
    }

    Display* m_display;
    bool m_locked = false;
};

void Tap(Display* display, const std::vector<KeyCode>& mods, KeyCode key) {
    for (const KeyCode mod : mods)
        XTestFakeKeyEvent(display, mod, True, CurrentTime);
    XTestFakeKeyEvent(display, key, True, CurrentTime);
    XSync(display, False);
    std::this_thread::sleep_for(kKeyHeld);
    XTestFakeKeyEvent(display, key, False, CurrentTime);
    for (auto mod = mods.rbegin(); mod != mods.rend(); ++mod)
        XTestFakeKeyEvent(display, *mod, False, CurrentTime);
    XSync(display, False);
    std::this_thread::sleep_for(kKeyGap);
}

}  // namespace

bool X11Sink::Type(const Stroke& stroke, std::string* error) {
    Display* display = m_x->display.get();
    const KeySym sym = KeysymOf(stroke);
    const CapsLockOff capsLockOff(display);
    if (const auto place = FindKey(display, sym)) {
        const std::vector<KeyCode> mods = ModifierKeys(display, place->mods);
        if (place->mods == 0 || !mods.empty()) {
            Tap(display, mods, place->key);
            return true;
        }
    }
    int perKey = 0;
    const KeyCode spare = SpareKey(display, &perKey);
    if (!spare || perKey <= 0) {
        char code[16] = {};
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(stroke.ch));
        *error =
            std::string("the keyboard map has no key for ") + code + " and no spare key to give it";
        return false;
    }
    std::vector<KeySym> given(static_cast<std::size_t>(perKey), NoSymbol);
    given[0] = sym;
    given[perKey > 1 ? 1 : 0] = sym;
    XChangeKeyboardMapping(display, spare, perKey, given.data(), 1);
    XSync(display, False);
    Tap(display, {}, spare);
    std::this_thread::sleep_for(kSpareKeyKept);
    std::fill(given.begin(), given.end(), NoSymbol);
    XChangeKeyboardMapping(display, spare, perKey, given.data(), 1);
    XSync(display, False);
    return true;
}

}  // namespace wedge
