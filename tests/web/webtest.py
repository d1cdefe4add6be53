"""What the web tests share: a scale on a pseudo-terminal, karvel-read serving it over HTTP,
and small clients for Server-Sent Events and WebSockets. Every wait is for the event itself,
with a generous deadline."""

import base64
import http.client
import json
import os
import queue
import select
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

PATIENCE = 30.0  # seconds: a deadline, never a pause
DIGITS = [0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F]
STABLE = 0x04
KG = 0x01


def deadline(seconds=PATIENCE):
    return time.monotonic() + seconds


def until(predicate, what, seconds=PATIENCE):
    end = deadline(seconds)
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.01)
    raise AssertionError("timed out waiting for " + what)


def masks_of(n, stable=True):
    """The nine slot values of the frame that shows n kg (0..999)."""
    return [0, STABLE if stable else 0, KG, 0, 0, 0,
            DIGITS[n // 100 % 10], DIGITS[n // 10 % 10], DIGITS[n % 10]]


def frame_of(masks, spare=0):
    return bytes([0x06, 0xAA, spare & 0xFF] + list(masks))


class Scale:
    """A scale on a pseudo-terminal mapped as COM1 in a port folder of its own: it answers the
    probe, sends the frames it is given and keeps every other byte it receives (the keys)."""

    def __init__(self):
        self.dir = tempfile.TemporaryDirectory(prefix="karvel-web-")
        self.received = queue.Queue()
        self._lock = threading.Lock()
        self.master = -1
        self.plug_in()

    def plug_in(self):
        """A new pseudo-terminal as COM1: at start, and once more after hang_up."""
        master, slave = os.openpty()
        link = os.path.join(self.dir.name, "COM1")
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(os.ttyname(slave), link)
        os.close(slave)
        with self._lock:
            self.master = master
        self._stop = False
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self):
        while not self._stop:
            try:
                ready, _, _ = select.select([self.master], [], [], 0.1)
                if not ready:
                    continue
                data = os.read(self.master, 256)
            except OSError:
                time.sleep(0.05)  # no reader on the far side yet
                continue
            self.heard(data)

    def heard(self, data):
        for byte in data:
            if byte == 0x05:
                self.write(bytes([0x06, 0xAA]))
            else:
                self.received.put(byte)

    def write(self, data):
        with self._lock:
            if self.master >= 0:
                os.write(self.master, data)

    def show(self, n, stable=True):
        self.write(frame_of(masks_of(n, stable), n))

    def key(self, seconds=PATIENCE):
        return self.received.get(timeout=seconds)

    def hang_up(self):
        self._stop = True
        self._thread.join()
        with self._lock:
            os.close(self.master)
            self.master = -1


class LineScale(Scale):
    """A scale of another family (MT-SICS) as COM1: it answers each "SI" with the line it shows."""

    def __init__(self):
        self.line = None
        self._asked = b""
        super().__init__()

    def heard(self, data):
        self._asked += data
        while b"\r\n" in self._asked:
            query, self._asked = self._asked.split(b"\r\n", 1)
            if query == b"SI" and self.line:
                self.write(self.line + b"\r\n")

    def show(self, line):
        self.line = line.encode()


class Reader:
    """karvel-read on the scale's port folder, serving HTTP on a free loopback port."""

    def __init__(self, scale, *args, env=None, http=True):
        """`scale` None: a reader that opens no port (a board)."""
        binary = os.environ["KARVEL_READ"]
        environment = dict(os.environ, QT_NO_GLIB="1")
        if scale:
            environment["KARVEL_PORT_DIR"] = scale.dir.name
        environment.update(env or {})
        self.process = subprocess.Popen(
            [binary] + (["--port", "COM1"] if scale else []) +
            (["--http", "0"] if http else []) + list(args),
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=environment)
        self.errors = []
        self.lines = queue.Queue()
        self._lock = threading.Lock()
        threading.Thread(target=self._pump, args=(self.process.stderr, True), daemon=True).start()
        threading.Thread(target=self._pump, args=(self.process.stdout, False), daemon=True).start()
        self.port = None
        if http:
            line = self.wait_for_error("http: serving http://")
            self.port = int(line.rsplit(":", 1)[1].strip("/"))
        else:
            self.wait_for_error("reading COM1")

    def _pump(self, stream, errors):
        for raw in stream:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            if errors:
                with self._lock:
                    self.errors.append(line)
            else:
                self.lines.put(line)

    def wait_for_error(self, text, seconds=PATIENCE):
        def seen():
            with self._lock:
                return next((line for line in self.errors if text in line), None)
        if self.process.poll() is not None and not seen():
            raise AssertionError("karvel-read ended: " + "\n".join(self.errors))
        return until(seen, "'%s' on standard error; saw %r" % (text, self.errors), seconds)

    def error_text(self):
        with self._lock:
            return "\n".join(self.errors)

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def request(self, method, path, body=None, headers=None):
        """(status, headers as a dict of lower-case names, body) of one request."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=PATIENCE)
        connection.request(method, path, body=body, headers=headers or {})
        response = connection.getresponse()
        answer = (response.status, {k.lower(): v for k, v in response.getheaders()},
                  response.read())
        connection.close()
        return answer

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=PATIENCE)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Events:
    """An SSE client: each event as (event, id, data)."""

    def __init__(self, port, headers=None):
        self.connection = http.client.HTTPConnection("127.0.0.1", port, timeout=PATIENCE)
        self.connection.request("GET", "/api/v1/events", headers=headers or {})
        self.response = self.connection.getresponse()

    def next(self):
        event, ident, data = "message", None, []
        while True:
            raw = self.response.fp.readline()
            if not raw:
                raise EOFError("the event stream ended")
            line = raw.decode("utf-8").rstrip("\n")
            if line == "":
                if data:
                    return event, ident, "\n".join(data)
                event, ident, data = "message", None, []
                continue
            if line.startswith(":"):
                continue
            name, _, value = line.partition(":")
            value = value[1:] if value.startswith(" ") else value
            if name == "event":
                event = value
            elif name == "id":
                ident = int(value)
            elif name == "data":
                data.append(value)

    def next_of(self, kind):
        while True:
            event, ident, data = self.next()
            if event == kind:
                return json.loads(data)

    def close(self):
        self.connection.close()


class WebSocket:
    """A WebSocket client of the smallest kind: text frames only, masked as a client must."""

    def __init__(self, port, path="/api/v1/ws", origin=None):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=PATIENCE)
        key = base64.b64encode(os.urandom(16)).decode()
        lines = ["GET %s HTTP/1.1" % path, "Host: 127.0.0.1:%d" % port, "Upgrade: websocket",
                 "Connection: Upgrade", "Sec-WebSocket-Key: " + key, "Sec-WebSocket-Version: 13"]
        if origin:
            lines.append("Origin: " + origin)
        self.sock.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise EOFError("no handshake answer")
            self.buffer += chunk
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        self.status = int(head.split(b" ")[1])

    def _take(self, n):
        while len(self.buffer) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("the WebSocket closed")
            self.buffer += chunk
        out, self.buffer = self.buffer[:n], self.buffer[n:]
        return out

    def receive(self):
        """The next text message as JSON; EOFError when the server closes."""
        while True:
            first, second = self._take(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._take(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._take(8))[0]
            payload = self._take(length)
            opcode = first & 0x0F
            if opcode == 8:
                raise EOFError("closed by the server")
            if opcode == 1:
                return json.loads(payload.decode())

    def next_of(self, kind):
        while True:
            message = self.receive()
            if message.get("event") == kind:
                return message

    def send(self, obj):
        payload = json.dumps(obj).encode()
        mask = os.urandom(4)
        head = bytes([0x81])
        if len(payload) < 126:
            head += bytes([0x80 | len(payload)])
        else:
            head += bytes([0x80 | 126]) + struct.pack(">H", len(payload))
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(head + mask + masked)

    def close(self):
        self.sock.close()


def run(tests):
    """Runs each (name, function) and says which failed; exit status 1 if any did."""
    failed = []
    for name, test in tests:
        started = time.monotonic()
        try:
            test()
            print("[  OK  ] %s (%.1f s)" % (name, time.monotonic() - started), flush=True)
        except Exception as error:  # report every failure, then go on with the rest
            failed.append(name)
            print("[FAILED] %s: %r" % (name, error), flush=True)
            import traceback
            traceback.print_exc()
    print("%d of %d passed" % (len(tests) - len(failed), len(tests)))
    sys.exit(1 if failed else 0)


def png_pixels(data):
    """(width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG that is not interlaced."""
    import zlib
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat, header = 8, b"", None
    while at < len(data):
        length = struct.unpack(">I", data[at:at + 4])[0]
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and colour in (2, 6) and interlace == 0, header
    step = 3 if colour == 2 else 4
    raw, rows, previous = zlib.decompress(idat), [], bytearray(width * step)
    stride = width * step
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            up, corner = previous[i], previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else
                                      up if pb <= pc else corner)) & 0xFF
        rows.append([tuple(line[x * step:x * step + 3]) for x in range(width)])
        previous = line
    return width, height, rows


class Browser:
    """Debian's headless Chromium through chromedriver, at a device pixel ratio of its own."""

    def __init__(self, ratio=1, size=(1200, 900)):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ["--headless=new", "--no-sandbox", "--disable-gpu",
                         "--force-device-scale-factor=%g" % ratio,
                         "--window-size=%d,%d" % size, "--disable-extensions",
                         "--no-first-run", "--disable-dev-shm-usage"]:
            options.add_argument(argument)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    def text(self, element_id):
        return self.driver.find_element("id", element_id).text

    def wait_text(self, element_id, predicate, what):
        return until(lambda: predicate(self.text(element_id)), what)

    def shot(self, element_id, path=None):
        png = self.driver.find_element("id", element_id).screenshot_as_png
        if path:
            with open(path, "wb") as f:
                f.write(png)
        return png

    def alert_open(self):
        from selenium.common.exceptions import NoAlertPresentException
        try:
            self.driver.switch_to.alert.text
            return True
        except NoAlertPresentException:
            return False

    def assert_quiet(self):
        """Nothing refused by the page's own policy, nothing missing, no script error."""
        problems = [e for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]
        assert not problems, problems

    def quit(self):
        self.driver.quit()


def differing(a, b):
    """The pixels where two PNGs of the same size differ."""
    wa, ha, ra = png_pixels(a)
    wb, hb, rb = png_pixels(b)
    assert (wa, ha) == (wb, hb), ((wa, ha), (wb, hb))
    return [(x, y) for y in range(ha) for x in range(wa) if ra[y][x] != rb[y][x]]


def tile(browser, scale_id):
    """The board's tile of `scale_id`, or None."""
    for item in browser.driver.find_elements("css selector", "#tiles li"):
        if item.get_attribute("data-id") == scale_id:
            return item
    return None


def tile_text(browser, scale_id, part):
    item = tile(browser, scale_id)
    return item.find_element("class name", part).text if item else None


def preview(masks, path):
    """lumeq-preview's picture of the nine slots."""
    names = ["--wm", "--sign", "--unit"] + ["--hex%d" % i for i in range(1, 7)]
    arguments = [os.environ["LUMEQ_PREVIEW"]]
    for name, value in zip(names, masks):
        arguments += [name, str(value)]
    subprocess.run(arguments + ["-o", path], check=True, timeout=PATIENCE,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    with open(path, "rb") as f:
        return f.read()


def shots_folder():
    """Where screenshots are kept for a person to look at: $KARVEL_WEB_SHOTS, else a new folder."""
    folder = os.environ.get("KARVEL_WEB_SHOTS") or tempfile.mkdtemp(prefix="karvel-shots-")
    os.makedirs(folder, exist_ok=True)
    return folder


def free_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


class Broker:
    """mosquitto in the foreground on a free loopback port, with a folder of its own."""

    def __init__(self, users=None):
        """`users`: {name: password}; then only they may log in."""
        import pwd
        self.dir = tempfile.TemporaryDirectory(prefix="karvel-broker-")
        access = "allow_anonymous true\n"
        if users:
            passwords = os.path.join(self.dir.name, "passwords")
            for name, password in users.items():
                subprocess.run(["mosquitto_passwd", "-b"] + (["-c"] if not
                               os.path.exists(passwords) else []) + [passwords, name, password],
                               check=True, timeout=PATIENCE)
            access = "allow_anonymous false\npassword_file %s\n" % passwords
        self.port = free_port()
        config = os.path.join(self.dir.name, "mosquitto.conf")
        with open(config, "w") as f:
            # As root, mosquitto would become user mosquitto and lose its folder.
            f.write("user %s\nlog_dest stderr\nlog_type all\nlistener %d 127.0.0.1\n"
                    "%s" % (pwd.getpwuid(os.geteuid()).pw_name, self.port, access))
        self.process = subprocess.Popen(["/usr/sbin/mosquitto", "-c", config],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.log = []
        threading.Thread(target=self._pump, daemon=True).start()
        until(lambda: any(" running" in line for line in list(self.log)), "mosquitto to run")

    def _pump(self):
        for raw in self.process.stderr:
            self.log.append(raw.decode("utf-8", "replace"))

    def url(self, prefix):
        return "mqtt://127.0.0.1:%d/%s" % (self.port, prefix)

    def publish(self, topic, payload, retain=True):
        """One MQTT 3.1.1 publish at QoS 0 (an empty retained payload clears the topic)."""
        def length(n):
            out = b""
            while True:
                byte, n = n % 128, n // 128
                out += bytes([byte | (0x80 if n else 0)])
                if not n:
                    return out

        def text(value):
            data = value.encode()
            return struct.pack(">H", len(data)) + data

        with socket.create_connection(("127.0.0.1", self.port), timeout=PATIENCE) as sock:
            body = text("MQTT") + bytes([4, 0x02]) + struct.pack(">H", 60) + text("")
            sock.sendall(b"\x10" + length(len(body)) + body)
            assert sock.recv(4) == b"\x20\x02\x00\x00", "the broker refused the publisher"
            body = text(topic) + payload.encode()
            sock.sendall(bytes([0x31 if retain else 0x30]) + length(len(body)) + body)
            sock.sendall(b"\xe0\x00")
            sock.recv(1)  # the broker closes once it has the message

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=PATIENCE)
