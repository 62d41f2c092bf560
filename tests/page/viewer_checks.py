"""What a viewer of the live page relies on, checked in a Browser that shows it."""

import math
import time

# Where the shown picture's pixels are, in page coordinates, and how much they are scaled.
PICTURE_GEOMETRY = """(() => {
  const picture = document.getElementById('picture'), box = picture.getBoundingClientRect();
  const width = picture.naturalWidth, height = picture.naturalHeight;
  const scale = Math.min(box.width / width, box.height / height);
  // Where the contained picture sits in its box, as the style places it (percentages of the spare room).
  const [alignX, alignY] = getComputedStyle(picture).objectPosition.split(' ').map(p => parseFloat(p) / 100);
  return {width, height, scale, left: box.left + (box.width - width * scale) * alignX,
          top: box.top + (box.height - height * scale) * alignY, boxWidth: box.width, boxHeight: box.height,
          innerWidth, innerHeight, scrollWidth: document.documentElement.scrollWidth,
          scrollHeight: document.documentElement.scrollHeight};
})()"""

# A digest of the shown picture's pixels (the time stamp in it changes every second); null while the
# next picture is loading, when Chromium reports the picture's size as 0.
PICTURE_DIGEST = """(() => {
  const picture = document.getElementById('picture'), canvas = document.createElement('canvas');
  if (!picture.complete || !picture.naturalWidth) return null;
  canvas.width = picture.naturalWidth; canvas.height = picture.naturalHeight;
  const context = canvas.getContext('2d');
  context.drawImage(picture, 0, 0);
  const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
  let digest = 0;
  for (let i = 0; i < pixels.length; i += 7) digest = (digest * 31 + pixels[i]) >>> 0;
  return digest;
})()"""

SCREEN_REQUESTS = "performance.getEntriesByType('resource').filter(e => /\\/screen$/.test(e.name)).length"


class CheckFailed(AssertionError):
    pass


def expect(condition, message):
    if not condition:
        raise CheckFailed(message)
    print("  ok:", message)


def open_live_page(browser, url, screen_size):
    browser.navigate(url)
    browser.wait_for("document.documentElement.classList.contains('js') && "
                     "document.getElementById('picture').naturalWidth > 0", 15, "the first picture")
    geometry = browser.evaluate(PICTURE_GEOMETRY)
    expect((geometry["width"], geometry["height"]) == screen_size,
           f"the picture is the whole {screen_size[0]}x{screen_size[1]} screen")
    return geometry


def check_fits(browser, label):
    geometry = browser.evaluate(PICTURE_GEOMETRY)
    shown_width = geometry["width"] * geometry["scale"]
    shown_height = geometry["height"] * geometry["scale"]
    expect(geometry["scrollWidth"] <= geometry["innerWidth"] and geometry["scrollHeight"] <= geometry["innerHeight"],
           f"{label}: no scrollbars (page {geometry['scrollWidth']}x{geometry['scrollHeight']} in "
           f"{geometry['innerWidth']}x{geometry['innerHeight']})")
    expect(shown_width <= geometry["innerWidth"] + 0.5 and shown_height <= geometry["innerHeight"] + 0.5,
           f"{label}: picture shown at {shown_width:.0f}x{shown_height:.0f}, inside the window")
    # Fitting means filling the window in one direction (the other holds the link bar or a margin).
    expect(shown_width >= geometry["innerWidth"] - 1 or shown_height >= geometry["innerHeight"] - 48,
           f"{label}: the picture fills the window in one direction")
    return geometry


def shown_picture_digest(browser, deadline):
    while (digest := browser.evaluate(PICTURE_DIGEST)) is None:
        if time.monotonic() > deadline:
            raise CheckFailed("no picture finished loading")
        time.sleep(0.05)
    return digest


def check_changes_without_reload(browser, timeout=8):
    browser.evaluate("if (window.brokenPictures === undefined) document.getElementById('picture')"
                     ".addEventListener('error', () => window.brokenPictures++);"
                     "window.stillThisDocument = true; window.brokenPictures = 0")
    deadline = time.monotonic() + timeout
    first = shown_picture_digest(browser, deadline)
    requests = browser.evaluate(SCREEN_REQUESTS)
    while shown_picture_digest(browser, deadline) == first:
        if time.monotonic() > deadline:
            raise CheckFailed(f"the picture did not change within {timeout} s")
        time.sleep(0.2)
    expect(browser.evaluate("window.stillThisDocument === true"), "the picture changed without a reload")
    expect(browser.evaluate(SCREEN_REQUESTS) > requests, "new pictures were fetched by the page itself")
    expect(browser.evaluate("window.brokenPictures") == 0, "every new picture decoded")


# Clicks the page at (x, y) while the browser reports the picture's size as 0, as Chromium does while the
# next picture loads; the click still goes to the picture on show.
CLICK_WHILE_LOADING = """(() => {
  const picture = document.getElementById('picture');
  for (const name of ['naturalWidth', 'naturalHeight']) {
    Object.defineProperty(picture, name, {get: () => 0, configurable: true});
  }
  const click = new MouseEvent('click', {clientX: %f, clientY: %f, bubbles: true, cancelable: true});
  document.getElementById('map').dispatchEvent(click);
  delete picture.naturalWidth;
  delete picture.naturalHeight;
})()"""


def check_click(browser, pointer, target, label, while_loading=False):
    """Clicks the shown picture where it shows screen point target; the real pointer must land there."""
    geometry = browser.evaluate(PICTURE_GEOMETRY)
    scale = geometry["scale"]
    x = geometry["left"] + (target[0] + 0.5) * scale
    y = geometry["top"] + (target[1] + 0.5) * scale
    clicks_before = browser.evaluate("performance.getEntriesByType('resource').length")
    if while_loading:
        browser.evaluate(CLICK_WHILE_LOADING % (x, y))
    else:
        browser.click(x, y)
    # The server answers a click after it has happened (about a second later).
    browser.wait_for(f"performance.getEntriesByType('resource').slice({clicks_before})"
                     ".some(e => /\\/click\\?\\d+,\\d+$/.test(e.name))", 10, "the click request")
    landed = pointer()
    # One page pixel covers 1/scale picture pixels; the page rounds the event position to whole pixels.
    tolerance = math.ceil(1 / scale) + 1
    expect(abs(landed[0] - target[0]) <= tolerance and abs(landed[1] - target[1]) <= tolerance,
           f"{label}: click at page ({x:.1f},{y:.1f}) scale {scale:.3f} landed at {landed}, wanted {target}")
    # The page asks for a new picture at once, not after its usual pause.
    gap = browser.wait_for(f"""(() => {{
      const entries = performance.getEntriesByType('resource').slice({clicks_before});
      const click = entries.find(e => /\\/click\\?/.test(e.name));
      const next = click && entries.find(e => /\\/screen$/.test(e.name) && e.startTime >= click.responseStart);
      return next ? Math.max(1, next.startTime - click.responseStart) : 0;
    }})()""", 5, "a picture after the click")
    expect(gap < 500, f"{label}: the next picture was asked for {gap:.0f} ms after the click's answer")
