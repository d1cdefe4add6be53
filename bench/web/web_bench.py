#!/usr/bin/python3
"""karvel-read --http measured beside its peers in the same run.

  web_bench.py latency [--seconds S] [--clients N]
                                      a frame's last byte to an SSE client, beside mosquitto's
                                      own publish to subscribe, both at 20 frames/s; N clients
                                      in all (1): beyond a few, events go out in batches
  web_bench.py cpu [--seconds S] [--rounds N]
                                      CPU of karvel-read at 80 frames/s: without --http, with it
                                      and 1 SSE client, with 100; medians of N rounds (3)
  web_bench.py rss [--seconds S]      resident memory while clients come and go at full tilt

KARVEL_READ names the program (default: the release build's). Each figure on a line of its own:
"figure: NAME = VALUE UNIT"."""

import os
import re
import select
import socket
import struct
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "web"))
os.environ.setdefault("KARVEL_READ", os.path.join(HERE, "..", "..", "build", "release", "bin",
                                                  "karvel-read"))
import webtest as w  # noqa: E402

VALUE = re.compile(rb'"value":(\d+)')


def figure(name, value, unit):
    print("figure: %s = %.3f %s" % (name, value, unit), flush=True)


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(p * len(values)))] if values else 0.0


def cpu_seconds(pid):
    """Every thread's CPU time, to the nanosecond (schedstat), not the scheduler's tick."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
            total += int(f.read().split()[0])
    return total / 1e9


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def sse_socket(port):
    sock = socket.create_connection(("127.0.0.1", port))
    sock.sendall(b"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
    return sock


class Paced:
    """Frames numbered 0..999 at `rate` a second on the scale's line, on a thread of its own;
    `sent[n]` is when frame n's last byte was written."""

    def __init__(self, scale, rate):
        self.scale, self.rate, self.sent, self.stop = scale, rate, {}, False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        n, start = 0, time.monotonic()
        while not self.stop:
            value = n % 1000
            frame = w.frame_of(w.masks_of(value), value)
            self.sent[value] = time.monotonic_ns()
            self.scale.write(frame)
            n += 1
            time.sleep(max(0.0, start + n / self.rate - time.monotonic()))

    def end(self):
        self.stop = True
        self.thread.join()


def mqtt_connect(port, client):
    sock = socket.create_connection(("127.0.0.1", port))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    text = lambda s: struct.pack(">H", len(s)) + s
    body = text(b"MQTT") + bytes([4, 2]) + struct.pack(">H", 60) + text(client)
    sock.sendall(bytes([0x10, len(body)]) + body)
    assert sock.recv(4)[:2] == b"\x20\x02"
    return sock, text


def broker_latency(broker, seconds, rate):
    """mosquitto's publish to subscribe at the same rate, QoS 0, same machine, same kind of
    client: the floor a network hop adds."""
    sub, text = mqtt_connect(broker.port, b"bench-sub")
    body = struct.pack(">H", 1) + text(b"bench/t") + b"\x00"
    sub.sendall(bytes([0x82, len(body)]) + body)
    sub.recv(5)  # SUBACK
    pub, _ = mqtt_connect(broker.port, b"bench-pub")
    latencies, count = [], int(seconds * rate)
    start = time.monotonic()
    for n in range(count):
        payload = b"%d" % n
        body = text(b"bench/t") + payload
        sent = time.monotonic_ns()
        pub.sendall(bytes([0x30, len(body)]) + body)
        data = b""
        while not data.endswith(payload):
            data += sub.recv(256)
        latencies.append((time.monotonic_ns() - sent) / 1000)
        time.sleep(max(0.0, start + (n + 1) / rate - time.monotonic()))
    return latencies


def drain(socks, stop):
    """Reads other clients' events as a browser would, so that they never fall behind."""
    while not stop.is_set():
        ready, _, _ = select.select(socks, [], [], 0.1)
        for sock in ready:
            sock.recv(65536)
    for sock in socks:
        sock.close()


def latency(seconds, clients=1):
    rate = 20
    broker = w.Broker()
    scale = w.Scale()
    reader = w.Reader(scale)
    others, stop = [sse_socket(reader.port) for _ in range(clients - 1)], threading.Event()
    if others:
        threading.Thread(target=drain, args=(others, stop), daemon=True).start()
    try:
        sock = sse_socket(reader.port)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        paced = Paced(scale, rate)
        latencies, buffer, end = [], b"", time.monotonic() + seconds
        while time.monotonic() < end:
            buffer += sock.recv(65536)
            received = time.monotonic_ns()
            while b"\n\n" in buffer:
                event, buffer = buffer.split(b"\n\n", 1)
                match = VALUE.search(event)
                if match and b"event: reading" in event and int(match.group(1)) in paced.sent:
                    latencies.append((received - paced.sent[int(match.group(1))]) / 1000)
        paced.end()
        peer = broker_latency(broker, seconds, rate)
        figure("sse_clients", clients, "")
        figure("frame_to_sse_median_us", percentile(latencies[5:], 0.5), "us")
        figure("frame_to_sse_p99_us", percentile(latencies[5:], 0.99), "us")
        figure("broker_publish_to_subscribe_median_us", percentile(peer, 0.5), "us")
        figure("broker_publish_to_subscribe_p99_us", percentile(peer, 0.99), "us")
        figure("frame_to_sse_over_broker_median_us",
               percentile(latencies[5:], 0.5) - percentile(peer, 0.5), "us")
    finally:
        stop.set()
        reader.stop()
        broker.stop()


def cpu_with(clients, seconds, http=True):
    scale = w.Scale()
    reader = w.Reader(scale, http=http)
    socks = [sse_socket(reader.port) for _ in range(clients)]
    try:
        paced = Paced(scale, 80)
        tails = {sock: b"" for sock in socks}

        def read_until(end):
            readings = 0
            while time.monotonic() < end:
                if socks:
                    ready, _, _ = select.select(socks, [], [], 0.1)
                    for sock in ready:
                        data = tails[sock] + sock.recv(65536)
                        readings += data.count(b"event: reading\n")
                        tails[sock] = data[-14:]  # a mark split between two reads counts once
                else:
                    reader.lines.get()
                    readings += 1
            return readings

        read_until(time.monotonic() + 1.0)  # the pace settles before it is measured
        before, started = cpu_seconds(reader.process.pid), time.monotonic()
        readings = read_until(started + seconds)
        used = cpu_seconds(reader.process.pid) - before
        wall = time.monotonic() - started
        paced.end()
        return 100.0 * used / wall, readings / max(1, len(socks)) / wall
    finally:
        for sock in socks:
            sock.close()
        reader.stop()


def cpu(seconds, rounds):
    """Each round measures the three one after the other, in a turning order so that neither
    gains from what else the machine was doing; the figures are medians over the rounds."""
    kinds = [("no_http", 0, False), ("1_sse", 1, True), ("100_sse", 100, True)]
    got = {name: [] for name, _, _ in kinds}
    for round_ in range(rounds):
        for name, clients, http in kinds[round_ % 3:] + kinds[:round_ % 3]:
            percent, rate = cpu_with(clients, seconds, http=http)
            got[name].append(percent)
            # Every reading reached every client: nothing was saved by leaving some out.
            figure("readings_per_s_per_client_%s_round_%d" % (name, round_), rate, "1/s")
    median = {name: percentile(values, 0.5) for name, values in got.items()}
    for name, values in got.items():
        figure("karvel_read_cpu_percent_80fps_" + name, median[name], "%")
        figure("karvel_read_cpu_percent_80fps_%s_spread" % name, max(values) - min(values), "%")
    figure("sse_100_clients_added_points", median["100_sse"] - median["no_http"], "% of a core")
    figure("sse_100_clients_over_1_points", median["100_sse"] - median["1_sse"], "% of a core")
    figure("load_average_1min", os.getloadavg()[0], "")
    figure("cpu_rounds", rounds, "")


def rss(seconds):
    scale = w.Scale()
    reader = w.Reader(scale)
    try:
        paced = Paced(scale, 80)
        pid, cycles = reader.process.pid, 0

        def churn(until):
            nonlocal cycles
            while time.monotonic() < until:
                socks = [sse_socket(reader.port) for _ in range(10)]
                for sock in socks:
                    sock.recv(4096)
                for sock in socks:
                    sock.close()
                reader.request("GET", "/api/v1/reading")
                cycles += 1
                time.sleep(0.02)  # come and go, not a flood: the limits are not the question

        churn(time.monotonic() + min(5.0, seconds / 4))  # first allocations made
        start = rss_kb(pid)
        churn(time.monotonic() + seconds)
        time.sleep(0.5)
        end = rss_kb(pid)
        paced.end()
        figure("rss_start_kb", start, "kB")
        figure("rss_growth_kb", end - start, "kB")
        figure("rss_connections", cycles * 11, "connections")
        figure("rss_seconds", seconds, "s")
    finally:
        reader.stop()


def main(argv):
    modes = {"latency": latency, "cpu": cpu, "rss": rss}
    seconds, rounds = 10.0, 3
    if "--seconds" in argv:
        seconds = float(argv[argv.index("--seconds") + 1])
    if "--rounds" in argv:
        rounds = int(argv[argv.index("--rounds") + 1])
    if len(argv) < 2 or argv[1] not in modes:
        sys.stderr.write(__doc__)
        return 2
    if argv[1] == "cpu":
        cpu(seconds, rounds)
    elif argv[1] == "latency" and "--clients" in argv:
        latency(seconds, int(argv[argv.index("--clients") + 1]))
    else:
        modes[argv[1]](seconds)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
