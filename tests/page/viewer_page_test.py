#!/usr/bin/env python3
"""viewer_page_test.py QVSERVER_HEADLESS [SCREENSHOT_FOLDER] -- the live page (data/top.html) in headless
Chromium against qvserver-headless on a private Xvfb: it fits the window on a desktop and on a phone,
refreshes itself, maps clicks to screen points, pauses while hidden, says when the server is gone and
recovers, and without scripts is the plain image-map page."""

import pathlib
import re
import sys
import tempfile
import time

import harness
import viewer_checks as checks
from browser import Browser

SCREEN = (1280, 1024)


def check_page_text():
    text = (harness.ROOT / "data/top.html").read_text()
    checks.expect(len(text.encode()) < 8192, f"the page is {len(text.encode())} bytes")
    references = re.findall(r'(?:href|src)="([^"]*)"', text) + re.findall(r'fetch\("([^"]*)', text)
    outside = [r for r in references if r != "data:," and re.match(r"[a-z]+:|/", r)]
    checks.expect(references and not outside, f"only relative references: {references}")
    checks.expect('<a href="./click"' in text and re.search(r'<img src="./screen" ismap', text) is not None,
                  "the picture is the built-in page's image map")


def check_hidden_pause(browser):
    browser.evaluate("Object.defineProperty(document, 'hidden', {configurable: true, get: () => true});"
                     "document.dispatchEvent(new Event('visibilitychange'))")
    time.sleep(1.5)  # lets a request that was already under way finish
    before = browser.evaluate(checks.SCREEN_REQUESTS)
    time.sleep(3)
    checks.expect(browser.evaluate(checks.SCREEN_REQUESTS) == before, "no pictures fetched for 3 s while hidden")
    browser.evaluate("Object.defineProperty(document, 'hidden', {configurable: true, get: () => false});"
                     "document.dispatchEvent(new Event('visibilitychange'))")
    browser.wait_for(f"{checks.SCREEN_REQUESTS} > {before}", 2, "a picture once visible again")
    checks.expect(True, "fetching resumed at once when visible again")


def check_offline_and_recovery(browser, server, port, shot):
    server.stop()
    browser.wait_for("document.documentElement.classList.contains('offline') && "
                     "getComputedStyle(document.getElementById('state')).display !== 'none'", 6,
                     "the cannot-reach notice")
    checks.expect("Cannot reach" in browser.evaluate("document.getElementById('state').textContent"),
                  "the page says plainly that the server cannot be reached")
    browser.screenshot(shot)
    server.start(port)
    browser.wait_for("!document.documentElement.classList.contains('offline')", 8, "recovery")
    checks.expect(True, "the notice went away by itself once the server was back")
    checks.check_changes_without_reload(browser)


def check_without_scripts(browser, pointer, url):
    browser.page("Emulation.setScriptExecutionDisabled", {"value": True})
    browser.navigate(url)
    browser.wait_for("document.getElementById('picture').complete", 10, "the picture")
    box = browser.evaluate("(() => { const r = document.getElementById('picture').getBoundingClientRect();"
                           " return [r.left, r.top, r.width, r.height]; })()")
    checks.expect(box[2:] == list(SCREEN), f"without scripts the picture is shown at its own size {box[2:]}")
    target = (300, 200)
    browser.click(box[0] + target[0] + 0.5, box[1] + target[1] + 0.5)
    browser.wait_for("/\\/click\\?\\d+,\\d+$/.test(location.href)", 10, "the image map's click page")
    sent = tuple(int(value) for value in browser.evaluate("location.search").lstrip("?").split(","))
    # The browser rounds the event position to whole pixels: the point may be one pixel off.
    checks.expect(abs(sent[0] - target[0]) <= 1 and abs(sent[1] - target[1]) <= 1,
                  f"the browser itself sent the picture point as /click?{sent[0]},{sent[1]}")
    checks.expect(pointer() == sent, f"and the pointer landed at {sent}")
    browser.page("Emulation.setScriptExecutionDisabled", {"value": False})


def main():
    binary = sys.argv[1]
    shots = pathlib.Path(sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="qv-page-shots-"))
    shots.mkdir(parents=True, exist_ok=True)
    check_page_text()
    with tempfile.TemporaryDirectory(prefix="qv-page-") as folder:
        xvfb = harness.Xvfb(folder, f"{SCREEN[0]}x{SCREEN[1]}")
        server = browser = None
        try:
            port = harness.free_port()
            server = harness.HeadlessServer(binary, pathlib.Path(folder) / "server", xvfb.display,
                                            harness.settings_text(port))
            server.start(port)
            url = f"http://127.0.0.1:{port}/"
            browser = Browser()

            print("desktop, 1280x800")
            browser.viewport(1280, 800, mobile=False)
            checks.open_live_page(browser, url, SCREEN)
            checks.check_fits(browser, "desktop")
            checks.check_changes_without_reload(browser)
            browser.screenshot(shots / "desktop.png")
            checks.check_click(browser, xvfb.pointer, (1000, 900), "desktop")
            checks.check_click(browser, xvfb.pointer, (250, 180), "desktop, next picture loading", while_loading=True)
            browser.evaluate("document.getElementById('size').click()")
            geometry = browser.evaluate(checks.PICTURE_GEOMETRY)
            checks.expect((geometry["boxWidth"], geometry["boxHeight"]) == SCREEN and
                          geometry["scrollHeight"] > geometry["innerHeight"], "1:1 shows the picture at its own size")
            checks.check_click(browser, xvfb.pointer, (640, 600), "desktop 1:1")
            browser.screenshot(shots / "desktop-1to1.png")
            browser.evaluate("document.getElementById('size').click()")
            checks.check_fits(browser, "desktop, fitted again")

            print("phone, 390x844")
            browser.viewport(390, 844, mobile=True)
            checks.open_live_page(browser, url, SCREEN)
            checks.check_fits(browser, "phone")
            checks.check_click(browser, xvfb.pointer, (123, 987), "phone")
            checks.check_changes_without_reload(browser)
            browser.screenshot(shots / "phone.png")

            print("hidden, unreachable, back")
            check_hidden_pause(browser)
            check_offline_and_recovery(browser, server, port, shots / "phone-offline.png")
            browser.screenshot(shots / "phone-recovered.png")

            print("without scripts")
            browser.viewport(1280, 800, mobile=False)
            check_without_scripts(browser, xvfb.pointer, url)
        finally:
            if browser is not None:
                browser.close()
            if server is not None:
                server.stop()
            xvfb.stop()
    print(f"viewer page: all checks passed; screenshots in {shots}")


if __name__ == "__main__":
    try:
        main()
    except checks.CheckFailed as failure:
        print("FAILED:", failure)
        sys.exit(1)
