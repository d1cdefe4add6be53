#include "tests/wedge/XClient.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace wedgetest {

struct XClient::Connection {
    struct Closer {
        void operator()(Display* display) const { XCloseDisplay(display); }
    };
    std::unique_ptr<Display, Closer> display;
};

XClient::XClient(const std::string& display) : m_x(std::make_unique<Connection>()) {
    m_x->display.reset(XOpenDisplay(display.c_str()));
}

XClient::~XClient() = default;

bool XClient::Connected() const {
    return m_x->display != nullptr;
}

void XClient::MovePointer(int x, int y) {
    Display* display = m_x->display.get();
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, x, y);
    XSync(display, False);
}

bool XClient::WindowUnderPointer() {
    Display* display = m_x->display.get();
    Window root = None, child = None;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &wx, &wy, &mask);
    return child != None;
}

unsigned long XClient::WindowTitled(const std::string& title) {
    Display* display = m_x->display.get();
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return None;
    Window found = None;
    for (unsigned i = 0; i < count && found == None; ++i) {
        XWindowAttributes attributes{};
        char* name = nullptr;
        if (XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable && XFetchName(display, children[i], &name) &&
            name != nullptr) {
            if (std::string(name).find(title) != std::string::npos)
                found = children[i];
        }
        if (name)
            XFree(name);
    }
    if (children)
        XFree(children);
    return found;
}

bool XClient::Shows(const std::string& title) {
    return WindowTitled(title) != None;
}

bool XClient::Focus(const std::string& title) {
    const Window window = WindowTitled(title);
    if (window == None)
        return false;
    XSetInputFocus(m_x->display.get(), window, RevertToPointerRoot, CurrentTime);
    XSync(m_x->display.get(), False);
    return true;
}

void XClient::Shift(bool down) {
    Display* display = m_x->display.get();
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Shift_L), down ? True : False,
                      CurrentTime);
    XSync(display, False);
}

void XClient::SetCapsLock(bool on) {
    XkbLockModifiers(m_x->display.get(), XkbUseCoreKbd, LockMask, on ? LockMask : 0);
    XSync(m_x->display.get(), False);
}

bool XClient::CapsLock() {
    XkbStateRec state{};
    XkbGetState(m_x->display.get(), XkbUseCoreKbd, &state);
    return (state.locked_mods & LockMask) != 0;
}

std::vector<unsigned long> XClient::KeyboardMap() {
    Display* display = m_x->display.get();
    int low = 0, high = 0, perKey = 0;
    XDisplayKeycodes(display, &low, &high);
    KeySym* syms = XGetKeyboardMapping(display, static_cast<KeyCode>(low), high - low + 1, &perKey);
    std::vector<unsigned long> map(syms, syms + (high - low + 1) * perKey);
    XFree(syms);
    return map;
}

}  // namespace wedgetest
