#!/usr/bin/env python3
"""The panel's display as a screen reader meets it over AT-SPI.

Run inside `dbus-run-session`: starts Xvfb and the accessibility bus, serves a scale on a
pseudo-terminal, starts Karvel against it and checks, as an AT-SPI client:
  - the display has the focus at start-up and its Text interface holds the reading;
  - each key says what it does (not its bytes); the port list's field is read only;
  - one value-change event per settled reading, none while the digits drift;
  - after the port is closed the reading says it is the last one;
  - Karvel prints no accessibility warning.
Exit 0 on success, 1 on a failed check, 77 when a needed program is missing.
"""

import os
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
DIGITS = [0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F]
POINT, STABLE, KG = 0x80, 0x04, 0x01


class Failed(Exception):
    pass


def fail(message):
    raise Failed(message)


def cells(text):
    """'1.250' as six right-aligned segment masks."""
    masks = []
    for ch in text:
        if ch == ".":
            masks[-1] |= POINT
        else:
            masks.append(DIGITS[int(ch)])
    return [0] * (6 - len(masks)) + masks


class Scale:
    """A scale on a pseudo-terminal: answers the probe and sends what `show` last set, 80/s."""

    def __init__(self, port_dir):
        import pty
        import tty
        self.master, slave = pty.openpty()
        tty.setraw(slave)
        os.symlink(os.ttyname(slave), os.path.join(port_dir, "COM1"))
        self.frame = None
        self.drift = None
        self.stop = False
        threading.Thread(target=self._read, daemon=True).start()
        threading.Thread(target=self._send, daemon=True).start()

    def show(self, text, stable):
        self.drift = None
        self.frame = [0x06, 0xAA, 0, 0, STABLE if stable else 0, KG] + cells(text)

    def show_drifting(self, texts):
        self.drift = texts

    def _read(self):
        while not self.stop:
            try:
                data = os.read(self.master, 64)
            except OSError:
                time.sleep(0.05)
                continue
            if b"\x05" in data:
                os.write(self.master, b"\x06\xaa")

    def _send(self):
        n = 0
        while not self.stop:
            if self.drift:
                text = self.drift[n % len(self.drift)]
                self.frame = [0x06, 0xAA, 0, 0, 0, KG] + cells(text)
            if self.frame:
                try:
                    os.write(self.master, bytes(self.frame))
                except OSError:
                    pass
            n += 1
            time.sleep(1 / 80)


def start_x_and_bus():
    for program in ("Xvfb", "/usr/libexec/at-spi-bus-launcher", "dbus-send"):
        if not (os.path.isabs(program) and os.access(program, os.X_OK)) and \
                subprocess.run(["which", program], capture_output=True).returncode != 0:
            print("SKIP: %s is missing" % program)
            sys.exit(SKIP)
    read_fd, write_fd = os.pipe()
    # Without -noreset the server resets whenever its last client leaves, and drops a client
    # that connects meanwhile: the panel would then find no display.
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,),
                            preexec_fn=die_with_parent)
    os.close(write_fd)
    display = os.read(read_fd, 16).decode().strip()
    os.environ["DISPLAY"] = ":" + display
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                           preexec_fn=die_with_parent)
    for _ in range(100):
        if subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                           "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                          capture_output=True).returncode == 0:
            break
        time.sleep(0.1)
    subprocess.run(["dbus-send", "--session", "--dest=org.a11y.Bus", "/org/a11y/bus",
                    "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                    "string:IsEnabled", "variant:boolean:true"], check=True)
    return [xvfb, bus]


def die_with_parent():
    """Children end with this script, however it ends."""
    import ctypes
    import signal
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def wait_for(what, predicate, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    fail("timed out waiting for " + what)


def find_display(pyatspi):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Karvel":
            found = pyatspi.findDescendant(app, lambda o: o is not None and o.name == "Scale display")
            if found is not None:
                return found
    return None


def check_keys_and_port_list(pyatspi, app):
    """Each key says what it does, never its bytes; the port list's field is read, not edited."""
    does = {"DATA": "Sends the reading", "MODE": "Changes the unit",
            "TARE": "Tares the load on the pan", "ON/OFF": "Switches the scale on or off"}
    for name, action in does.items():
        key = pyatspi.findDescendant(app, lambda o: o is not None and o.name == name)
        if key is None:
            fail("no %s key over AT-SPI" % name)
        if not key.description.startswith(action) or "0x" in key.description:
            fail("%s is described as %r" % (name, key.description))
    combo = pyatspi.findDescendant(app, lambda o: o is not None and
                                   o.getRole() == pyatspi.ROLE_COMBO_BOX)
    if combo is None:
        fail("no port list over AT-SPI")
    for child in combo:
        if child is not None and child.getRole() != pyatspi.ROLE_LIST:
            states = child.getState()
            if states.contains(pyatspi.STATE_EDITABLE) or not states.contains(
                    pyatspi.STATE_READ_ONLY):
                fail("the port list's field is offered for editing")
            if child.queryText().getNSelections() != 0:
                fail("the port list's field has a selection")


def reading(display):
    text = display.queryText()
    return text.getText(0, -1)


def main():
    if len(sys.argv) != 2:
        print("usage: reading_over_atspi.py KARVEL")
        return 2
    karvel = sys.argv[1]
    import importlib.util
    if importlib.util.find_spec("pyatspi") is None:
        print("SKIP: python3-pyatspi is missing")
        return SKIP
    children = start_x_and_bus()
    import pyatspi
    from gi.repository import GLib

    port_dir = tempfile.mkdtemp(prefix="karvel-atspi-")
    os.chmod(port_dir, 0o700)
    scale = Scale(port_dir)
    env = dict(os.environ, KARVEL_PORT_DIR=port_dir, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    err = tempfile.TemporaryFile()
    panel = subprocess.Popen([karvel], env=env, stderr=err, preexec_fn=die_with_parent)
    children.append(panel)
    try:
        display = wait_for("the display over AT-SPI", lambda: find_display(pyatspi))
        wait_for("the display's focus", lambda: display.getState().contains(pyatspi.STATE_FOCUSED))
        if display.getRoleName() != "paragraph":
            fail("role is %r" % display.getRoleName())
        check_keys_and_port_list(pyatspi, display.getApplication())

        events = []

        def on_value(event):
            if event.source == display:
                events.append(reading(display))

        pyatspi.Registry.registerEventListener(on_value, "object:property-change:accessible-value")
        # Each step waits for its condition (or, for a stretch that must stay silent, for its
        # time), then acts; a deadline ends a step that waits in vain.
        steps = [
            (lambda: True, lambda: scale.show("1.250", True)),
            (lambda: len(events) >= 1, lambda: scale.show_drifting(["2.31", "2.37", "2.42"])),
            (None, lambda: scale.show("2.500", True)),  # 2.5 s of drifting digits
            (lambda: len(events) >= 2, lambda: None),
            (None, lambda: None),  # 1.5 s in which nothing more is said
        ]
        quiet = {2: 2.5, 4: 1.5}
        state = {"step": 0, "since": time.monotonic(), "timed_out": False}
        texts = []

        def step():
            texts.append(reading(display))
            index = state["step"]
            waited = time.monotonic() - state["since"]
            condition, action = steps[index]
            ready = waited >= quiet[index] if condition is None else condition()
            if not ready and waited > 30:
                state["timed_out"] = True
                pyatspi.Registry.stop()
                return False
            if ready:
                action()
                state["step"] += 1
                state["since"] = time.monotonic()
                if state["step"] == len(steps):
                    pyatspi.Registry.stop()
                    return False
            return True

        GLib.timeout_add(50, step)
        pyatspi.Registry.start()
        print("read through Text while streaming: " + ", ".join(sorted(set(texts))))
        print("value-change events, with the text then: %r" % events)
        if state["timed_out"]:
            fail("step %d waited in vain; events %r" % (state["step"], events))
        if events != ["1.250 kg, stable", "2.500 kg, stable"]:
            fail("expected one event per settled reading, got %r" % events)
        if not any(t.startswith("2.3") or t.startswith("2.4") for t in texts):
            fail("the drifting readings were never read through Text")

        # CLOSE through its AT-SPI action: the reading then says it is the last one.
        close = pyatspi.findDescendant(display.getApplication(),
                                       lambda o: o is not None and o.name == "CLOSE")
        if close is None:
            fail("no CLOSE button over AT-SPI")
        if close.description != "Closes the open port":
            fail("CLOSE is described as %r" % close.description)
        close.queryAction().doAction(0)
        wait_for("the closed note",
                 lambda: reading(display) == "Last reading, port closed: 2.500 kg, stable")
        print("after CLOSE: " + reading(display))
        # The status line's description holds its whole text and why it says so.
        status = pyatspi.findDescendant(display.getApplication(), lambda o: o is not None and
                                        o.name == "STATUS:COM Port Closed")
        if status is None:
            fail("no status line over AT-SPI")
        if not status.description.startswith("STATUS:COM Port Closed\nCOM1 was closed with CLOSE"):
            fail("the status line is described as %r" % status.description)
    except Failed as failure:
        err.seek(0)
        print("Karvel (exit %r) said:\n%s" % (panel.poll(), err.read().decode(errors="replace")))
        print("FAIL: %s" % failure, flush=True)
        return 1
    finally:
        scale.stop = True
        for child in reversed(children):
            child.terminate()
            try:
                child.wait(timeout=5)
            except subprocess.TimeoutExpired:
                child.kill()
    err.seek(0)
    stderr = err.read().decode(errors="replace")
    if "qt.accessibility" in stderr:
        print("FAIL: accessibility warnings on standard error:\n" + stderr)
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
