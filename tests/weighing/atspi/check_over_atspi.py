#!/usr/bin/env python3
"""The check's verdict as a screen reader meets it over AT-SPI.

Run inside `dbus-run-session`: starts Xvfb and the accessibility bus, serves a scale on a
pseudo-terminal, starts `Karvel --check 500g,-2,+5` against it and checks, as an AT-SPI client,
that each settled weighing's verdict is said with the weight, in the status line, with a
name-change event for each (UNDER, OK, OVER), and nothing while the weight drifts.
Exit 0 on success, 1 on a failed check, 77 when a needed program is missing.
"""

import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "app", "atspi"))
import reading_over_atspi as shared  # noqa: E402  the scale, the bus and the waits


def find_status(pyatspi):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Karvel":
            found = pyatspi.findDescendant(
                app, lambda o: o is not None and o.name.startswith("STATUS:"))
            if found is not None:
                return found
    return None


def main():
    if len(sys.argv) != 2:
        print("usage: check_over_atspi.py KARVEL")
        return 2
    import importlib.util
    if importlib.util.find_spec("pyatspi") is None:
        print("SKIP: python3-pyatspi is missing")
        return shared.SKIP
    children = shared.start_x_and_bus()
    import pyatspi
    from gi.repository import GLib

    port_dir = tempfile.mkdtemp(prefix="karvel-check-atspi-")
    os.chmod(port_dir, 0o700)
    scale = shared.Scale(port_dir)
    env = dict(os.environ, KARVEL_PORT_DIR=port_dir, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
               XDG_STATE_HOME=port_dir)
    err = tempfile.TemporaryFile()
    panel = subprocess.Popen([sys.argv[1], "--check", "500g,-2,+5"], env=env, stderr=err,
                             preexec_fn=shared.die_with_parent)
    children.append(panel)
    try:
        status = shared.wait_for("the status line over AT-SPI", lambda: find_status(pyatspi))
        said = []

        def on_name(event):
            if event.source == status and " kg (" in status.name:
                said.append(status.name.split("   ")[-1])

        pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
        expected = ["UNDER 0.497 kg (-3 g)", "OK 0.502 kg (+2 g)", "OVER 0.506 kg (+6 g)"]
        weights = ["0.497", "0.502", "0.506"]
        state = {"next": 0, "since": time.monotonic(), "timed_out": False}

        def step():
            index = state["next"]
            if index > 0 and len(said) < index:
                if time.monotonic() - state["since"] > 30:
                    state["timed_out"] = True
                    pyatspi.Registry.stop()
                    return False
                return True
            if index == len(weights):
                pyatspi.Registry.stop()
                return False
            scale.show_drifting(["0.1", "0.31", "0.47"])
            GLib.timeout_add(600, lambda: scale.show(weights[index], True) and False)
            state["next"] += 1
            state["since"] = time.monotonic()
            return True

        GLib.timeout_add(100, step)
        pyatspi.Registry.start()
        print("said: %r" % said)
        if state["timed_out"] or said != expected:
            shared.fail("expected %r, heard %r" % (expected, said))
    except shared.Failed as failure:
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
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
