#!/usr/bin/env python3
"""Orca reads the panel's display: a manual check, run inside `dbus-run-session`.

Starts Xvfb, the accessibility bus, a speech-dispatcher of its own with a null audio sink, Orca
with its debug log and Karvel against a scale on a pseudo-terminal; tabs once round the panel and
lets a drifting load settle.
Checks that Orca's speech output holds the reading when Tab reaches the display and each settled
weight, and never a drifting one. Orca writes its debug log when it ends, so this script
paces the scenario with pauses and reads the log afterwards; it is therefore no CTest test.
Exit 0 on success, 1 on a failed check, 77 when a needed program is missing.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reading_over_atspi as common  # noqa: E402

# Speech goes to libao's null driver: nothing waits for an audio device that is not there.
SPEECHD_CONF = """AudioOutputMethod "libao"
AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"
DefaultModule espeak-ng
LogLevel 3
"""


def private_speech(home):
    """A speech-dispatcher of this run's own, on its own socket, with a null audio sink."""
    conf = os.path.join(home, "speechd")
    shutil.copytree("/etc/speech-dispatcher", conf, symlinks=True)
    with open(os.path.join(conf, "speechd.conf"), "a") as f:
        f.write(SPEECHD_CONF)
    with open(os.path.join(home, ".libao"), "w") as f:
        f.write("default_driver=null\n")
    socket = os.path.join(home, "speechd.sock")
    env = dict(os.environ, HOME=home, SPEECHD_ADDRESS="unix_socket:" + socket)
    server = start(["speech-dispatcher", "--run-single", "--timeout", "0", "--config-dir", conf,
                    "--socket-path", socket, "--pid-file", os.path.join(home, "speechd.pid"),
                    "--log-dir", home], env)
    common.wait_for("speech-dispatcher's socket", lambda: os.path.exists(socket), 20)
    return server, env


def start(command, env, **kwargs):
    """In a process group of its own, so that whatever it starts ends with it."""
    child = subprocess.Popen(command, env=env, start_new_session=True,
                             preexec_fn=common.die_with_parent, **kwargs)
    child.leads_group = True
    return child


def stop(children):
    """Ends each child, its group with it when it leads one; SIGKILL after a grace time."""
    for child in reversed(children):
        leader = getattr(child, "leads_group", False)
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(child.pid, sig) if leader else child.send_signal(sig)
            except ProcessLookupError:
                pass
            try:
                child.wait(timeout=15)
                break
            except subprocess.TimeoutExpired:
                print("%s did not end on SIGTERM within 15 s: killed" % child.args[0], flush=True)
        if leader:
            try:  # what it started and left behind
                os.killpg(child.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass


def main():
    # Ended from outside, it still cleans up.
    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(sig, lambda number, frame: sys.exit(128 + number))
    if len(sys.argv) != 2:
        print("usage: orca_speaks_reading.py KARVEL")
        return 2
    for program in ("orca", "xdotool", "speech-dispatcher"):
        if subprocess.run(["which", program], capture_output=True).returncode != 0:
            print("SKIP: %s is missing" % program)
            return common.SKIP
    children = common.start_x_and_bus()
    home = tempfile.mkdtemp(prefix="karvel-orca-")
    port_dir = tempfile.mkdtemp(prefix="karvel-orca-ports-")
    os.chmod(port_dir, 0o700)
    log = os.path.join(home, "orca.log")
    scale = None
    try:
        server, env = private_speech(home)
        children.append(server)
        children.append(start(["orca", "--debug-file=" + log, "--replace"], env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(4)
        scale = common.Scale(port_dir)
        scale.show("1.250", True)
        env = dict(os.environ, KARVEL_PORT_DIR=port_dir, QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        children.append(start([sys.argv[1]], env, stderr=subprocess.DEVNULL))
        time.sleep(6)
        for _ in range(7):  # once round the panel: back on the display
            subprocess.run(["xdotool", "key", "Tab"])
            time.sleep(0.7)
        time.sleep(1)
        scale.show_drifting(["2.31", "2.37", "2.42", "2.45"])
        time.sleep(3)
        scale.show("2.500", True)
        time.sleep(6)  # a busy machine delays what Orca says
        stop(children)  # Orca writes its log as it ends
        spoken = re.findall(r"SPEECH OUTPUT: '(.*)' ?\{", open(log, errors="replace").read())
        print("\n".join("said: " + s for s in spoken))
        tabs = [i for i, s in enumerate(spoken) if s.startswith("tab")]
        if not tabs:
            common.fail("Orca said no Tab")
        after_tab = spoken[max(tabs):]
        if not any("1.250 kg, stable" in s for s in after_tab):
            common.fail("the reading was not said when Tab reached the display")
        if not any("2.500 kg, stable" in s for s in after_tab):
            common.fail("the settled weight was not said")
        drifting = [s for s in spoken if re.search(r"2\.[34]\d kg", s)]
        if drifting:
            common.fail("drifting readings were spoken: %r" % drifting)
        noise = [s for s in spoken if re.search(r"0x[0-9A-F]{2}|Text unselected", s)]
        if noise:
            common.fail("noise was spoken: %r" % noise)
    except common.Failed as failure:
        print("FAIL: %s" % failure, flush=True)
        return 1
    finally:
        if scale is not None:
            scale.stop = True
        stop(children)
        shutil.rmtree(port_dir, ignore_errors=True)
        shutil.rmtree(home, ignore_errors=True)
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
