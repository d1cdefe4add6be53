"""The board in headless Chromium, fed by three readers through a real mosquitto: a tile per
scale that follows it, goes offline when its reader is killed and goes when its retained state
is cleared; an id that looks like markup is shown as the text it is. A board logs in to a broker
that wants a password with the options a publisher takes."""

import json
import os
import re
import signal

import webtest as w
from webtest import tile, tile_text

HOSTILE = "<img src=x onerror=alert(1)>"


def test_the_board():
    shots = w.shots_folder()
    broker = w.Broker()
    scales = {name: w.Scale() for name in ("line-1", "line-2", "line-3")}
    readers = {name: w.Reader(scale, "--mqtt", broker.url("plant"), "--id", name, http=False)
               for name, scale in scales.items()}
    board = w.Reader(None, "--board", broker.url("plant"))
    browser = w.Browser(ratio=1)
    try:
        board.wait_for_error("board: following plant/+")
        # A scale no reader of ours would name so: its id and texts come from the broker.
        broker.publish("plant/%s/availability" % HOSTILE, "online")
        broker.publish("plant/%s/state" % HOSTILE, json.dumps(
            {"text": "<b>7</b>", "unit": "<i>kg</i>", "stable": True,
             "time": "2026-01-01T00:00:00.000Z"}))
        for n, scale in enumerate(scales.values(), start=1):
            scale.show(n * 10)
        browser.driver.get(board.url("/"))
        for n, name in enumerate(scales, start=1):
            w.until(lambda: tile_text(browser, name, "weight") == "%03d kg" % (n * 10),
                    name + "'s tile")
            assert tile_text(browser, name, "availability") == "online"
        w.until(lambda: tile_text(browser, HOSTILE, "weight") == "<b>7</b> <i>kg</i>",
                "the hostile tile, as text")
        assert tile_text(browser, HOSTILE, "id") == HOSTILE
        assert browser.driver.find_elements("tag name", "img") == []
        assert browser.driver.find_elements("tag name", "b") == []
        assert not browser.alert_open(), "the id ran as markup"

        # Tiles follow their scales.
        scales["line-1"].show(123)
        w.until(lambda: tile_text(browser, "line-1", "weight") == "123 kg", "line-1 at 123")
        # A reader killed: the broker's will says offline, and so does its tile.
        readers["line-2"].process.send_signal(signal.SIGKILL)
        readers["line-2"].process.wait()
        w.until(lambda: tile_text(browser, "line-2", "availability") == "offline",
                "line-2 offline")
        assert "offline" in tile(browser, "line-2").get_attribute("class")
        browser.driver.save_screenshot(os.path.join(shots, "board.png"))
        # A scale whose retained messages are cleared goes from the board.
        broker.publish("plant/%s/state" % HOSTILE, "")
        broker.publish("plant/%s/availability" % HOSTILE, "")
        w.until(lambda: tile(browser, HOSTILE) is None, "the cleared tile to go")

        # A tile opens that scale's own large view.
        tile(browser, "line-1").find_element("tag name", "a").click()
        browser.wait_text("reading", lambda t: t == "123 kg", "line-1's own page")
        scales["line-1"].show(124)
        browser.wait_text("reading", lambda t: t == "124 kg", "line-1's page following")
        browser.driver.save_screenshot(os.path.join(shots, "board-scale.png"))

        # A reader whose port is lost stays online: its page and its tile say the port is lost.
        browser.driver.get(board.url("/scale/line-3"))
        browser.wait_text("reading", lambda t: t == "030 kg", "line-3's own page")
        scales["line-3"].hang_up()
        browser.wait_text("state", lambda t: t.startswith("port lost"), "line-3's page: lost")
        browser.driver.get(board.url("/"))
        w.until(lambda: tile_text(browser, "line-3", "availability") == "port lost",
                "line-3's tile: port lost")
        assert tile_text(browser, "line-3", "weight") == "030 kg"
        browser.driver.save_screenshot(os.path.join(shots, "board-lost.png"))
        scales["line-3"].plug_in()
        w.until(lambda: tile_text(browser, "line-3", "availability") == "online", "line-3 back")
        browser.assert_quiet()
    finally:
        browser.quit()
        board.stop()
        for reader in readers.values():
            reader.stop()
        broker.stop()


def test_tiles_keep_numbers_as_sent():
    broker = w.Broker()
    board = w.Reader(None, "--board", broker.url("plant"))
    browser = w.Browser(ratio=1, size=(1280, 900))
    try:
        board.wait_for_error("board: following plant/+")
        for n in range(6):
            broker.publish("plant/wide-%d/state" % n, json.dumps(
                {"text": "14376.00", "unit": "g", "stable": True}))
        browser.driver.get(board.url("/"))
        w.until(lambda: tile_text(browser, "wide-5", "weight") == "14376.00 g", "the tiles")
        for n in range(6):
            # One line box per figure, the number whole, and the tile as wide as the figure.
            lines, overflow = browser.driver.execute_script(
                "const e = arguments[0], r = document.createRange(); r.selectNodeContents(e);"
                "return [r.getClientRects().length, e.scrollWidth - e.clientWidth];",
                tile(browser, "wide-%d" % n).find_element("class name", "weight"))
            assert (lines, overflow) == (1, 0), (n, lines, overflow)
        # The board's JSON has the state's figures as the reader wrote them.
        broker.publish("plant/zero/state", '{"text": "0.00", "value": 0.00, "unit": "g"}')
        w.until(lambda: b'"value": 0.00' in board.request("GET", "/api/v1/board")[2],
                "0.00 in the board's JSON")
    finally:
        browser.quit()
        board.stop()
        broker.stop()


# (a retained state, the tile's weight, stable and age as a pattern): only fields of their own
# type are shown
STATE_CASES = [
    ('{"text":{"nested":[1,2]},"unit":["x"],"stable":"yes","time":"garbage"}', "unreadable state",
     "", ""),
    ('{"text":"12.5","unit":7,"stable":false,"time":null}', "12.5", "moving", ""),
    ('{"unit":"g","stable":1,"time":"2026-01-01T00:00:00.000Z"}', "\u2014", "", r"\d+ h ago"),
]


def test_tiles_show_only_fields_of_their_type():
    broker = w.Broker()
    board = w.Reader(None, "--board", broker.url("plant"))
    browser = w.Browser(ratio=1)
    try:
        board.wait_for_error("board: following plant/+")
        for n, (state, _, _, _) in enumerate(STATE_CASES):
            broker.publish("plant/odd-%d/state" % n, state)
        browser.driver.get(board.url("/"))
        for n, (state, weight, stable, age) in enumerate(STATE_CASES):
            name = "odd-%d" % n
            w.until(lambda: tile_text(browser, name, "weight") == weight, name + ": " + weight)
            assert tile_text(browser, name, "stable") == stable, state
            assert re.fullmatch(age, tile_text(browser, name, "age")), state
        browser.assert_quiet()
    finally:
        browser.quit()
        board.stop()
        broker.stop()


# (path, expected status) on a board; nothing need be heard from a broker for these
BOARD_PATHS = [
    ("/api/v1/board", 200),
    ("/scale/line-1", 200),
    ("/api/v1/reading", 404),
    ("/api/v1/scales/line-1/other", 404),
    ("/api/v1/scales/events", 400),  # no scale named
    ("/api/v1/scales//events", 400),
]


def test_board_paths():
    # No broker listens: a board serves while it waits for one.
    board = w.Reader(None, "--board", "mqtt://127.0.0.1:%d/plant" % w.free_port())
    try:
        for path, status in BOARD_PATHS:
            got, _, body = board.request("GET", path)
            assert got == status, (path, got, body)
        assert board.request("POST", "/api/v1/board")[0] == 405
    finally:
        board.stop()


def secret(text):
    """A password file only its owner may read."""
    folder = w.tempfile.mkdtemp(prefix="karvel-secret-")
    path = os.path.join(folder, "password")
    with open(path, "w") as f:
        f.write(text + "\n")
    os.chmod(path, 0o600)
    return path


def test_a_board_logs_in_as_a_publisher_does():
    broker = w.Broker(users={"weigher": "scale-pw", "board": "board-pw"})
    scale = w.Scale()
    reader = w.Reader(scale, "--mqtt", broker.url("plant"), "--id", "line-9", "--mqtt-user",
                      "weigher", "--mqtt-password-file", secret("scale-pw"), http=False)
    board = w.Reader(None, "--board", broker.url("plant"), "--mqtt-user", "board",
                     "--mqtt-password-file", secret("board-pw"))
    wrong = w.Reader(None, "--board", broker.url("plant"), "--mqtt-user", "board",
                     "--mqtt-password-file", secret("not-board-pw"))
    try:
        board.wait_for_error("board: following plant/+")
        scale.show(321)

        def tiles(of):
            return json.loads(of.request("GET", "/api/v1/board")[2])["scales"]
        w.until(lambda: any(t["id"] == "line-9" and t["reading"] and t["reading"]["value"] == 321
                            for t in tiles(board)), "line-9's tile on the board that logged in")
        wrong.wait_for_error("board: the broker refused")
        assert tiles(wrong) == [] and "following" not in wrong.error_text()
        said = board.error_text() + wrong.error_text()
        assert "board-pw" not in said, said
    finally:
        for one in (wrong, board, reader):
            one.stop()
        broker.stop()


if __name__ == "__main__":
    w.run([(name, test) for name, test in list(globals().items()) if name.startswith("test_")])
