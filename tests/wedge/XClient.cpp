#include "tests/wedge/XClient.h"

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

void XClient::Shift(bool down) {
    Display* display = m_x->display.get();
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Shift_L), down ? True : False,
                      CurrentTime);
    XSync(display, False);
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
