"""Every family through karvel-read's web sinks, each from one simulated scale: the HTTP reading
holds the family's value and unit, the live page's display lights that reading's segments (the
pixels lumeq-preview draws for them, never every segment) and says it, and the board's tile of
the scale shows value and unit."""

import json
import os
import subprocess
import tempfile

import webtest as w

LOAD = "12.345kg"
CAS_PATTERN = "^(?<stable>ST),GS,1@, *(?<value>[-0-9.]+) (?<unit>[a-z]+)$"
# The nine slots the page lights: a reading in grams has no unit glyph and loses a decimal to
# fit six cells; the described frames are drawn as they came (three bars, kg and gross).
GRAMS = [0, w.STABLE, 0, 0x06, 0x5B, 0x4F, 0x66, 0xED, 0x3F]
KILOGRAMS = [0, w.STABLE, w.KG, 0, 0x06, 0xDB, 0x4F, 0x66, 0x6D]
FRAME = [0x0E, w.STABLE, w.KG | 0x20, 0, 0x06, 0xDB, 0x4F, 0x66, 0x6D]

# (row, the simulator's options, the reader's, text, unit, the display's slots)
FAMILIES = [
    ("described", [], [], "12.345", "kg", FRAME),
    ("karvel", [], ["--protocol", "karvel"], "12.345", "kg", FRAME),
] + [(name, ["--protocol", name], ["--protocol", name], "12345.00", "g", GRAMS)
     for name in ("sics", "and", "sbi", "ohaus")] + [
    (name, ["--protocol", name], ["--protocol", name], "12.345", "kg", KILOGRAMS)
    for name in ("toledo", "cas", "indicator")] + [
    ("pattern", ["--protocol", "cas"], ["--protocol", "pattern", "--pattern", CAS_PATTERN],
     "12.345", "kg", KILOGRAMS),
]


class Simulator:
    """karvel-scalesim with LOAD on its pan, linked as COM1 in a folder of its own."""

    def __init__(self, options):
        self.dir = tempfile.TemporaryDirectory(prefix="karvel-pipeline-")
        self.process = subprocess.Popen(
            [os.environ["KARVEL_SCALESIM"], "--port-dir", self.dir.name, "--com", "1", "--rate",
             "20", "--quiet", "--load", LOAD] + options,
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        for line in self.process.stdout:  # ends early only when the simulator does
            if line.strip() == b"ready":
                return
        raise AssertionError("the simulator ended before it was ready")

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=w.PATIENCE)


def latest_reading(reader):
    status, _, body = reader.request("GET", "/api/v1/reading")
    return body.decode() if status == 200 else None


def check_row(browser, broker, board, shots, row):
    name, sim_options, options, text, unit, masks = row
    sim = Simulator(sim_options)
    reader = w.Reader(sim, "--mqtt", broker.url("pipe"), "--id", name, *options)
    try:
        body = w.until(lambda: latest_reading(reader), name + "'s reading over HTTP")
        reading = json.loads(body)
        assert (reading["text"], reading["unit"]) == (text, unit), body
        assert '"value":%s,' % text in body, body  # the exact figures, not a rounded float

        browser.driver.get(reader.url("/?scale=1"))
        browser.wait_text("reading", lambda t: t == text + " " + unit, name + " on the page")
        page = browser.shot("display", os.path.join(shots, "%s-page.png" % name))
        expected = w.preview(masks, os.path.join(shots, "%s-preview.png" % name))
        bad = w.differing(page, expected)
        assert not bad, "%s: %d pixels differ, the first %r" % (name, len(bad), bad[:5])

        browser.driver.get(board.url("/"))
        w.until(lambda: w.tile_text(browser, name, "weight") == text + " " + unit,
                name + "'s tile to say " + text + " " + unit)
        browser.assert_quiet()
    finally:
        reader.stop()
        sim.stop()


def test_every_family_on_the_page_and_the_board():
    shots = w.shots_folder()
    broker = w.Broker()
    board = w.Reader(None, "--board", broker.url("pipe"))
    browser = w.Browser(ratio=1)
    failed = []
    try:
        board.wait_for_error("board: following pipe/+")
        for row in FAMILIES:
            try:
                check_row(browser, broker, board, shots, row)
                print("[  OK  ] %s" % row[0], flush=True)
            except AssertionError as error:  # every row is tried, each failure said
                failed.append(row[0])
                print("[FAILED] %s: %s" % (row[0], error), flush=True)
    finally:
        browser.quit()
        board.stop()
        broker.stop()
    assert not failed, "rows failed: " + ", ".join(failed)
    print("screenshots in", shots)


if __name__ == "__main__":
    w.run([(name, test) for name, test in list(globals().items()) if name.startswith("test_")])
