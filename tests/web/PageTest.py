"""The live page in headless Chromium: it shows the simulated weight and follows it, its display
has lumeq-preview's pixels for the same masks, it speaks settled weights only, and it says
"port lost" when the scale's line hangs up."""

import os

import webtest as w
from webtest import differing


def test_the_page_follows_the_scale_and_has_the_controls_pixels():
    shots = w.shots_folder()
    scale = w.Scale()
    reader = w.Reader(scale)
    browser = w.Browser(ratio=1)
    try:
        browser.driver.get(reader.url("/?scale=1"))
        browser.wait_text("state", lambda t: t == "live", "the page to say live")
        for n in (123, 124):
            scale.show(n)
            browser.wait_text("reading", lambda t, n=n: t == "%03d kg" % n, "%d kg shown" % n)
        browser.wait_text("spoken", lambda t: t == "124 kg" or t == "124 kg", "124 kg spoken")
        # A weight that has not settled is shown, not spoken.
        scale.show(125, stable=False)
        browser.wait_text("reading", lambda t: t == "125 kg", "125 kg shown")
        assert browser.text("spoken") == "124 kg", browser.text("spoken")

        masks = w.masks_of(125, stable=False)
        page = browser.shot("display", os.path.join(shots, "page-1x.png"))
        expected = w.preview(masks, os.path.join(shots, "preview.png"))
        bad = differing(page, expected)
        assert not bad, "%d pixels differ, the first %r" % (len(bad), bad[:5])

        browser.driver.save_screenshot(os.path.join(shots, "page-live.png"))
        scale.hang_up()
        browser.wait_text("state", lambda t: t.startswith("port lost"), "port lost")
        assert browser.driver.find_element("id", "live").get_attribute("data-state") == "lost"
        assert browser.text("reading").startswith("125 kg")  # the last, marked as not live
        browser.driver.save_screenshot(os.path.join(shots, "page-lost.png"))
        browser.assert_quiet()
    finally:
        browser.quit()
        reader.stop()
    print("screenshots in", shots)


# (the scale's line, the reading shown, the nine slots the display lights)
FAMILY_CASES = [
    ("S S     100.00 g", "100.00 g", [0, w.STABLE, 0, 0, 0x06, 0x3F, 0xBF, 0x3F, 0x3F]),
    ("S D  -1234.567 kg", "-1234.567 kg", [0, 0, w.KG, 0x40, 0x06, 0x5B, 0x4F, 0xE6, 0x7D]),
    ("S +", "OL", [0x80, 0, 0] + [0x40] * 6),
]


def test_a_family_reading_lights_its_own_figures_not_every_segment():
    shots = w.shots_folder()
    scale = w.LineScale()
    scale.show(FAMILY_CASES[0][0])  # found by its answer
    reader = w.Reader(scale, "--protocol", "sics")
    browser = w.Browser(ratio=1)
    try:
        browser.driver.get(reader.url("/?scale=1"))
        for n, (line, text, masks) in enumerate(FAMILY_CASES):
            scale.show(line)
            browser.wait_text("reading", lambda t, text=text: t == text, text + " shown")
            page = browser.shot("display", os.path.join(shots, "family-%d.png" % n))
            expected = w.preview(masks, os.path.join(shots, "family-preview-%d.png" % n))
            bad = differing(page, expected)
            assert not bad, "%s: %d pixels differ, the first %r" % (line, len(bad), bad[:5])
        browser.assert_quiet()
    finally:
        browser.quit()
        reader.stop()


def test_large_and_sharp_at_twice_the_pixel_density():
    shots = w.shots_folder()
    scale = w.Scale()
    reader = w.Reader(scale)
    browser = w.Browser(ratio=2, size=(1024, 768))
    try:
        browser.driver.get(reader.url("/"))
        scale.show(88)
        browser.wait_text("reading", lambda t: t == "088 kg", "88 kg shown")
        width = browser.driver.execute_script("return document.getElementById('display').width")
        # Whole device pixels per display pixel: every edge falls on a pixel.
        assert width % 359 == 0 and width >= 2 * 359, width
        browser.driver.save_screenshot(os.path.join(shots, "page-2x.png"))
    finally:
        browser.quit()
        reader.stop()


if __name__ == "__main__":
    w.run([(name, test) for name, test in list(globals().items()) if name.startswith("test_")])
