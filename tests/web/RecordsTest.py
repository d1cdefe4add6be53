"""GET /api/v1/records of karvel-read --http --record: one scale's weighings newest first, paged
by seq, the reading's host and origin rules; no such path without --record."""

import json
import os
import subprocess
import tempfile

import webtest as w

WEIGHINGS = [11, 12, 13, 14, 15]


def recording_reader(scale):
    folder = tempfile.mkdtemp(prefix="karvel-records-")
    reader = w.Reader(scale, "--record", "sqlite:" + os.path.join(folder, "w.sqlite"), "--id",
                      "bench-1", env={"XDG_STATE_HOME": folder})
    for n in WEIGHINGS:
        scale.show(n)
        line = json.loads(reader.lines.get(timeout=w.PATIENCE))
        assert line["value"] == n, line
    return reader


def page(reader, query):
    status, headers, body = reader.request("GET", "/api/v1/records" + query)
    assert status == 200 and headers["content-type"] == "application/json", (status, body)
    answer = json.loads(body)
    return [(row["record"], row["value"]) for row in answer["records"]], answer["next"]


# (query, the rows as (seq, value), next)
PAGES = [
    ("", [(5, 15), (4, 14), (3, 13), (2, 12), (1, 11)], None),
    ("?limit=2", [(5, 15), (4, 14)], 4),
    ("?limit=2&before=4", [(3, 13), (2, 12)], 2),
    ("?limit=2&before=2", [(1, 11)], None),
    ("?scale=bench-1&limit=5", [(5, 15), (4, 14), (3, 13), (2, 12), (1, 11)], None),
    ("?scale=other", [], None),
    ("?since=2999-01-01T00:00:00Z", [], None),
    ("?since=2000-01-01&limit=1", [(5, 15)], 5),
]

REFUSED = ["?limit=0", "?limit=1001", "?limit=x", "?before=0", "?before=-1", "?since=yesterday",
           "?since=2026-12-09T10:00;DROP"]


def test_pages_newest_first_and_refusals():
    scale = w.Scale()
    reader = recording_reader(scale)
    try:
        for query, rows, following in PAGES:
            assert page(reader, query) == (rows, following), query
        for query in REFUSED:
            status, _, body = reader.request("GET", "/api/v1/records" + query)
            assert status == 400 and json.loads(body)["error"], (query, status, body)
        # Read-only, and answered only as the reading is.
        assert reader.request("POST", "/api/v1/records", b"{}")[0] == 405
        assert reader.request("GET", "/api/v1/records", None, {"Host": "attacker.example"})[0] \
            == 421
        assert reader.request("GET", "/api/v1/records", None,
                              {"Origin": "https://evil.example"})[0] == 403
    finally:
        reader.stop()


def test_rows_name_the_build_version_prints():
    lines = subprocess.run([os.environ["KARVEL_READ"], "--version"], capture_output=True,
                           text=True, check=True).stdout.splitlines()
    assert lines[-1].startswith("Build "), lines
    software = lines[0] + " build " + lines[-1][len("Build "):]
    scale = w.Scale()
    reader = recording_reader(scale)
    try:
        status, _, body = reader.request("GET", "/api/v1/records")
        rows = json.loads(body)["records"]
        assert status == 200 and [row["software"] for row in rows] == [software] * len(rows), body
    finally:
        reader.stop()


def test_no_records_without_record():
    reader = w.Reader(w.Scale())
    try:
        assert reader.request("GET", "/api/v1/records")[0] == 404
    finally:
        reader.stop()


if __name__ == "__main__":
    w.run([(name, test) for name, test in list(globals().items()) if name.startswith("test_")])
