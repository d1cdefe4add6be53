"""karvel-read --http against a real HTTP client: the reading, the event streams in order, keys
that reach the scale's line, origins, host names and the limits on connections."""

import http.client
import json
import os
import socket
import stat
import tempfile
import time

import webtest as w

TOKEN = "s3cret-token-0123456789"


def token_file(mode=0o600):
    folder = tempfile.mkdtemp(prefix="karvel-token-")
    path = os.path.join(folder, "token")
    with open(path, "w") as f:
        f.write(TOKEN + "\n")
    os.chmod(path, mode)
    return path


def test_reading_before_first_and_while_lost():
    scale = w.Scale()
    reader = w.Reader(scale)
    try:
        status, headers, body = reader.request("GET", "/api/v1/reading")
        assert status == 503 and json.loads(body)["error"] == "no reading yet", body
        assert headers["content-type"] == "application/json"
        events = w.Events(reader.port)
        scale.show(42)
        assert events.next_of("reading")["value"] == 42
        status, _, body = reader.request("GET", "/api/v1/reading")
        assert status == 200 and json.loads(body)["value"] == 42, body
        # The same object as the JSON line on standard output.
        assert json.loads(reader.lines.get(timeout=w.PATIENCE)) == json.loads(body)
        scale.hang_up()
        assert events.next_of("state")["state"] == "lost"
        status, _, body = reader.request("GET", "/api/v1/reading")
        assert status == 503 and json.loads(body)["error"] == "port lost", body
    finally:
        reader.stop()


def test_both_streams_say_lost_then_back_and_go_on():
    scale = w.Scale()
    reader = w.Reader(scale)
    try:
        events, ws = w.Events(reader.port), w.WebSocket(reader.port)
        assert events.next_of("state")["state"] == "opened"
        assert ws.next_of("state")["data"]["state"] == "opened"
        scale.hang_up()
        assert events.next_of("state")["state"] == "lost"
        assert ws.next_of("state")["data"]["state"] == "lost"
        scale.plug_in()
        back = events.next_of("state")
        assert back["state"] == "back" and back["port"] == "COM1", back
        assert ws.next_of("state")["data"] == back
        scale.show(55)
        assert events.next_of("reading")["value"] == 55
        assert ws.next_of("reading")["data"]["value"] == 55
        assert reader.request("GET", "/api/v1/reading")[0] == 200
    finally:
        reader.stop()


def test_event_ids_rise_across_event_types():
    scale = w.Scale()
    reader = w.Reader(scale)
    try:
        scale.show(1)
        w.Events(reader.port).next_of("reading")
        events = w.Events(reader.port)
        seen = [events.next(), events.next()]  # where things stand: the port, the reading
        scale.hang_up()
        seen.append(events.next())
        scale.plug_in()
        seen.append(events.next())
        scale.show(2)
        seen.append(events.next())
        assert [event for event, _, _ in seen] == ["state", "reading", "state", "state",
                                                   "reading"], seen
        ids = [ident for _, ident, _ in seen]
        assert ids == sorted(set(ids)), ids
    finally:
        reader.stop()


def test_every_reading_in_order_on_both_streams():
    # One client is written each event as it comes; many share writes of several events.
    for clients in (1, 8):
        scale = w.Scale()
        reader = w.Reader(scale)
        try:
            streams = [w.Events(reader.port) for _ in range(clients)]
            ws = w.WebSocket(reader.port)
            assert ws.status == 101
            for events in streams:
                assert events.next_of("state")["state"] == "opened"
            assert ws.next_of("state")["data"]["state"] == "opened"
            count = 300
            for n in range(1, count + 1):
                scale.show(n % 1000)
                if n == count // 2:
                    late = w.Events(reader.port)  # joins in the middle: nothing twice
            expected = list(range(1, count + 1))
            for events in streams:
                sse_values = [events.next_of("reading")["value"] for _ in range(count)]
                assert sse_values == expected, (clients, sse_values[:20])
            ws_values = [ws.next_of("reading")["data"]["value"] for _ in range(count)]
            assert ws_values == expected, ws_values[:20]
            first = late.next_of("reading")["value"]
            rest = [late.next_of("reading")["value"] for _ in range(count - first)]
            assert rest == list(range(first + 1, count + 1)), (clients, first, rest[:20])
        finally:
            reader.stop()


def test_a_client_that_does_not_read_misses_old_events_and_is_told():
    scale = w.Scale()
    reader = w.Reader(scale)
    try:
        slow = socket.socket()
        slow.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        slow.settimeout(w.PATIENCE)
        slow.connect(("127.0.0.1", reader.port))
        slow.sendall(b"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        fast = w.Events(reader.port)
        # In steps the client that reads keeps up with: it gets every reading.
        count, step = 3000, 100
        for start in range(0, count, step):
            for n in range(start, start + step):
                scale.show(n % 1000)
            values = [fast.next_of("reading")["value"] for _ in range(step)]
            assert values == [n % 1000 for n in range(start, start + step)], values
        # The one that did not read is told what it missed, then has the newest in order.
        response = http.client.HTTPResponse(slow)
        response.begin()
        events = w.Events.__new__(w.Events)
        events.response = response
        missed, after = None, []
        while not after or after[-1] != (count - 1) % 1000:
            event, _, data = events.next()
            if event == "missed":
                missed = json.loads(data)["missed"]
            elif event == "reading" and missed is not None:
                after.append(json.loads(data)["value"])
        assert after == sorted(after), after
        assert missed and missed > 0, missed
    finally:
        reader.stop()


# (reader options, request headers, body, expected status, byte the scale receives or None)
KEY_CASES = [
    ([], {"Authorization": "Bearer " + TOKEN}, {"key": "TARE"}, 403, None),
    (["--http-keys"], {}, {"key": "TARE"}, 401, None),
    (["--http-keys"], {"Authorization": "Bearer wrong-" + TOKEN}, {"key": "TARE"}, 401, None),
    (["--http-keys"], {"Authorization": TOKEN}, {"key": "TARE"}, 401, None),
    (["--http-keys"], {"Authorization": "Bearer " + TOKEN}, {"key": "NOPE"}, 400, None),
    (["--http-keys"], {"Authorization": "Bearer " + TOKEN}, {"key": "TARE"}, 202, ord("T")),
    (["--http-keys"], {"Authorization": "Bearer " + TOKEN}, {"key": "DATA", "double": True},
     202, ord("D") | 0x80),
]


def test_keys():
    path = token_file()
    for options, headers, body, status, byte in KEY_CASES:
        scale = w.Scale()
        args = options + (["--http-token-file", path] if options else [])
        reader = w.Reader(scale, *args)
        try:
            got, _, answer = reader.request("POST", "/api/v1/keys", json.dumps(body).encode(),
                                            dict(headers, **{"Content-Type": "application/json"}))
            assert got == status, (options, headers, body, got, answer)
            if byte is not None:
                assert scale.key() == byte
            else:
                # A key that was refused never reaches the line: the next one is the first.
                assert scale.received.empty()
        finally:
            reader.stop()
        assert TOKEN not in reader.error_text()


def test_keys_on_the_websocket():
    scale = w.Scale()
    reader = w.Reader(scale, "--http-keys", "--http-token-file", token_file())
    try:
        ws = w.WebSocket(reader.port)
        ws.send({"key": "MODE"})
        assert ws.next_of("error")["error"]
        ws.send({"key": "MODE", "token": TOKEN})
        assert ws.next_of("key")["sent"] is True
        assert scale.key() == ord("M")
    finally:
        reader.stop()
    assert TOKEN not in reader.error_text()


def test_a_token_file_others_can_read_is_refused():
    scale = w.Scale()
    reader = w.subprocess.run(
        [os.environ["KARVEL_READ"], "--port", "COM1", "--http", "0", "--http-keys",
         "--http-token-file", token_file(0o644)],
        env=dict(os.environ, KARVEL_PORT_DIR=scale.dir.name), capture_output=True,
        timeout=w.PATIENCE)
    assert reader.returncode == 2, reader
    assert b"may be read by others" in reader.stderr and TOKEN.encode() not in reader.stderr


SHOP = "https://shop.example:8443"
# (method, path, origin, extra headers, expected status, expected allowed origin or None)
ORIGIN_CASES = [
    ("GET", "/api/v1/reading", SHOP, {}, 503, SHOP),
    ("GET", "/api/v1/reading", "https://evil.example", {}, 403, None),
    ("GET", "/api/v1/reading", "https://shop.example", {}, 403, None),  # another port
    ("OPTIONS", "/api/v1/keys", SHOP, {"Access-Control-Request-Method": "POST",
                                       "Access-Control-Request-Headers": "authorization"},
     204, SHOP),
    ("OPTIONS", "/api/v1/keys", "https://evil.example",
     {"Access-Control-Request-Method": "POST"}, 403, None),
    ("POST", "/api/v1/keys", "https://evil.example",
     {"Authorization": "Bearer " + TOKEN}, 403, None),
]


def test_origins():
    scale = w.Scale()
    reader = w.Reader(scale, "--http-origin", SHOP, "--http-keys", "--http-token-file",
                      token_file())
    try:
        for method, path, origin, extra, status, allowed in ORIGIN_CASES:
            got, headers, body = reader.request(method, path, b"{\"key\":\"TARE\"}"
                                                if method == "POST" else None,
                                                dict(extra, Origin=origin))
            assert got == status, (method, path, origin, got, body)
            assert headers.get("access-control-allow-origin") == allowed, headers
            assert "*" not in headers.get("access-control-allow-origin", "")
        assert scale.received.empty()  # the key from the origin not named never went out
        # The page's own origin is its own.
        own = "http://127.0.0.1:%d" % reader.port
        assert reader.request("GET", "/api/v1/reading", None, {"Origin": own})[0] == 503
        assert w.WebSocket(reader.port, origin=own).status == 101
        try:
            w.WebSocket(reader.port, origin="https://evil.example").receive()
            raise AssertionError("a WebSocket from an origin not named stayed open")
        except (EOFError, ConnectionError):
            pass
    finally:
        reader.stop()


# (method, path, expected status, a header the answer must carry as (name, value) or None)
ROUTE_CASES = [
    ("GET", "/page.js", 200, ("content-type", "text/javascript; charset=utf-8")),
    ("GET", "/api/v1/nothing", 404, None),
    ("POST", "/api/v1/reading", 405, ("allow", "GET")),
    ("GET", "/api/v1/keys", 405, ("allow", "POST")),
    ("GET", "/api/v1/ws", 426, ("upgrade", "websocket")),
    ("OPTIONS", "/api/v1/keys", 204, ("access-control-allow-methods", "POST")),
    ("OPTIONS", "/api/v1/reading", 204, ("access-control-allow-methods", "GET")),
]


def test_routes():
    reader = w.Reader(w.Scale())
    try:
        for method, path, status, header in ROUTE_CASES:
            got, headers, body = reader.request(method, path)
            assert got == status, (method, path, got, body)
            if header:
                assert headers.get(header[0]) == header[1], (method, path, headers)
    finally:
        reader.stop()


def test_only_loopback_names_on_loopback():
    scale = w.Scale()
    reader = w.Reader(scale)
    try:
        for host, status in [("127.0.0.1:%d" % reader.port, 200), ("localhost", 200),
                             ("attacker.example", 421), ("127.0.0.1.attacker.example", 421)]:
            got = reader.request("GET", "/", None, {"Host": host})[0]
            assert got == status, (host, got)
    finally:
        reader.stop()


def raw_exchange(port, data):
    """What the server says to `data`, up to its closing the connection."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=w.PATIENCE)
    sock.sendall(data)
    answer = b""
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return answer
        answer += chunk


def test_request_limits():
    scale = w.Scale()
    reader = w.Reader(scale)
    try:
        big_header = b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + b"a" * 9000 + b"\r\n\r\n"
        assert raw_exchange(reader.port, big_header).startswith(b"HTTP/1.1 431 ")
        big_body = (b"POST /api/v1/keys HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5000\r\n"
                    b"\r\n" + b"x" * 5000)
        assert raw_exchange(reader.port, big_body).startswith(b"HTTP/1.1 413 ")
        # A sender that never finishes its request is let go.
        assert raw_exchange(reader.port, b"GET / HTTP/1.1\r\nHost: 1").startswith(
            b"HTTP/1.1 408 ")
        reader.wait_for_error("did not arrive in time")
        assert "more than 8192 bytes" in reader.error_text()
    finally:
        reader.stop()


def test_idle_connections_and_a_slow_sender_leave_the_readings_alone():
    scale = w.Scale()
    reader = w.Reader(scale, "--http-clients", "510")
    idle = []
    try:
        events = w.Events(reader.port)
        for _ in range(500):
            idle.append(socket.create_connection(("127.0.0.1", reader.port), timeout=w.PATIENCE))
        slow = socket.create_connection(("127.0.0.1", reader.port), timeout=w.PATIENCE)
        slow.sendall(b"GET /api/v1/rea")
        # Up to the limit (the two above and 508 here), then a refusal, and it is said.
        extra = [socket.create_connection(("127.0.0.1", reader.port)) for _ in range(8)]
        refused = [socket.create_connection(("127.0.0.1", reader.port), timeout=w.PATIENCE)
                   for _ in range(3)]
        assert all(s.recv(4096).startswith(b"HTTP/1.1 503 ") for s in refused)
        extra += refused
        reader.wait_for_error("--http-clients")
        for n in range(1, 201):
            scale.show(n)
        assert [events.next_of("reading")["value"] for _ in range(200)] == list(range(1, 201))
        # The JSON lines went on too.
        assert json.loads(reader.lines.get(timeout=w.PATIENCE))["value"] == 1
        for s in extra:
            s.close()
    finally:
        for s in idle:
            s.close()
        reader.stop()


def test_clients_come_and_go():
    scale = w.Scale()
    reader = w.Reader(scale)
    try:
        for n in range(30):
            scale.show(n)
            streams = [w.Events(reader.port) for _ in range(5)]
            sockets = [w.WebSocket(reader.port) for _ in range(3)]
            for stream in streams:
                assert stream.next_of("reading")["value"] == n
            for stream in streams + sockets:
                stream.close()
            assert reader.request("GET", "/api/v1/reading")[0] == 200
        assert reader.process.poll() is None, reader.error_text()
    finally:
        reader.stop()


def test_an_idle_connection_is_closed_and_streams_are_not():
    scale = w.Scale()
    reader = w.Reader(scale)
    try:
        events = w.Events(reader.port)
        ws = w.WebSocket(reader.port)
        idle = socket.create_connection(("127.0.0.1", reader.port), timeout=60)
        assert idle.recv(1) == b""  # closed by the server when its idle time ran out
        scale.show(77)
        assert events.next_of("reading")["value"] == 77
        assert ws.next_of("reading")["data"]["value"] == 77
    finally:
        reader.stop()


def listening_sockets(pid):
    inodes = set()
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    listening = 0
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table) as f:
            for line in f.readlines()[1:]:
                fields = line.split()
                if fields[3] == "0A" and fields[9] in inodes:  # 0A: LISTEN
                    listening += 1
    return listening


def test_nothing_listens_without_http():
    scale = w.Scale()
    plain = w.Reader(scale, http=False)
    try:
        scale.show(5)
        assert json.loads(plain.lines.get(timeout=w.PATIENCE))["value"] == 5
        assert listening_sockets(plain.process.pid) == 0
    finally:
        plain.stop()
    reader = w.Reader(w.Scale())
    try:
        assert listening_sockets(reader.process.pid) == 1
    finally:
        reader.stop()


if __name__ == "__main__":
    w.run([(name, test) for name, test in list(globals().items()) if name.startswith("test_")])
