#!/usr/bin/env python3
"""Orca reads the panel's display: a manual check, run inside `dbus-run-session`.

Starts Xvfb, the accessibility bus, Orca with its debug log (no audio device needed) and Karvel
against a scale on a pseudo-terminal; tabs once round the panel and lets a drifting load settle.
Checks that Orca's speech output holds the reading when Tab reaches the display and each settled
weight, and never a drifting one. Orca writes its debug log when it ends, so this script
paces the scenario with pauses and reads the log afterwards; it is therefore no CTest test.
Exit 0 on success, 1 on a failed check, 77 when a needed program is missing.
"""

import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reading_over_atspi as common  # noqa: E402


def main():
    if len(sys.argv) != 2:
        print("usage: orca_speaks_reading.py KARVEL")
        return 2
    for program in ("orca", "xdotool"):
        if subprocess.run(["which", program], capture_output=True).returncode != 0:
            print("SKIP: %s is missing" % program)
            return common.SKIP
    children = common.start_x_and_bus()
    home = tempfile.mkdtemp(prefix="karvel-orca-")
    log = os.path.join(home, "orca.log")
    try:
        children.append(subprocess.Popen(
            ["orca", "--debug-file=" + log, "--replace"], env=dict(os.environ, HOME=home),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=common.die_with_parent))
        time.sleep(4)
        port_dir = tempfile.mkdtemp(prefix="karvel-orca-ports-")
        scale = common.Scale(port_dir)
        scale.show("1.250", True)
        env = dict(os.environ, KARVEL_PORT_DIR=port_dir, QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        children.append(subprocess.Popen([sys.argv[1]], env=env, stderr=subprocess.DEVNULL,
                                         preexec_fn=common.die_with_parent))
        time.sleep(6)
        for _ in range(7):  # once round the panel: back on the display
            subprocess.run(["xdotool", "key", "Tab"])
            time.sleep(0.7)
        time.sleep(1)
        scale.show_drifting(["2.31", "2.37", "2.42", "2.45"])
        time.sleep(3)
        scale.show("2.500", True)
        time.sleep(3)
        for child in reversed(children):
            child.terminate()
            child.wait(timeout=10)
        spoken = re.findall(r"SPEECH OUTPUT: '(.*)' ?\{", open(log, errors="replace").read())
        print("\n".join("said: " + s for s in spoken))
        after_tab = spoken[max(i for i, s in enumerate(spoken) if s.startswith("tab")):]
        if not any("1.250 kg, stable" in s for s in after_tab):
            common.fail("the reading was not said when Tab reached the display")
        if not any("2.500 kg, stable" in s for s in after_tab):
            common.fail("the settled weight was not said")
        drifting = [s for s in spoken if re.search(r"2\.[34]\d kg", s)]
        if drifting:
            common.fail("drifting readings were spoken: %r" % drifting)
    except common.Failed as failure:
        print("FAIL: %s" % failure, flush=True)
        return 1
    finally:
        for child in reversed(children):
            child.terminate()
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
