"""A headless Chromium driven over the DevTools protocol on a pipe (no websocket, no extra packages).

Chromium reads commands from its descriptor 3 and writes answers and events to descriptor 4, each
message one JSON text ended by a NUL byte.
"""

import base64
import json
import os
import shutil
import subprocess
import tempfile
import time


class BrowserError(RuntimeError):
    pass


class Browser:
    def __init__(self, extra_arguments=(), user=None, password=None):
        self.profile = tempfile.mkdtemp(prefix="qv-chromium-")
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def connect_pipes():
            # Out of the way first, so that neither end can overwrite the other; the descriptors not
            # passed are closed after this runs.
            os.dup2(to_browser_read, 1000)
            os.dup2(from_browser_write, 1001)
            os.dup2(1000, 3)
            os.dup2(1001, 4)

        arguments = ["chromium", "--headless", "--remote-debugging-pipe", "--no-sandbox",
                     "--disable-gpu", "--no-first-run", "--no-default-browser-check",
                     "--disable-extensions", "--disable-background-networking",
                     "--user-data-dir=" + self.profile, *extra_arguments, "about:blank"]
        self.process = subprocess.Popen(arguments, pass_fds=(3, 4),
                                        preexec_fn=connect_pipes, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.pending = b""
        self.next_id = 0
        self.events = []
        self.credentials = (user, password)
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime"):
            self.call(domain + ".enable", session=True)
        if user is not None:
            # Answers the server's password question as a user would in the browser's dialog.
            self.call("Fetch.enable", {"handleAuthRequests": True, "patterns": [{"urlPattern": "*"}]},
                      session=True)

    def close(self):
        try:
            self.call("Browser.close")
            self.process.wait(timeout=10)
        except Exception:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)
        shutil.rmtree(self.profile, ignore_errors=True)

    def _read_message(self):
        while b"\0" not in self.pending:
            chunk = os.read(self.from_browser, 65536)
            if not chunk:
                raise BrowserError("chromium closed its pipe")
            self.pending += chunk
        text, self.pending = self.pending.split(b"\0", 1)
        return json.loads(text)

    def _handle_event(self, message):
        method = message.get("method")
        params = message.get("params", {})
        if method == "Fetch.requestPaused":
            self._post("Fetch.continueRequest", {"requestId": params["requestId"]}, message.get("sessionId"))
        elif method == "Fetch.authRequired":
            user, password = self.credentials
            self._post("Fetch.continueWithAuth", {"requestId": params["requestId"], "authChallengeResponse": {
                "response": "ProvideCredentials", "username": user, "password": password}},
                message.get("sessionId"))
        else:
            self.events.append(message)

    def _post(self, method, params, session_id):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session_id:
            message["sessionId"] = session_id
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        return self.next_id

    def call(self, method, params=None, session=False):
        wanted = self._post(method, params, self.session if session else None)
        while True:
            message = self._read_message()
            if "id" not in message:
                self._handle_event(message)
            elif message["id"] == wanted:
                if "error" in message:
                    raise BrowserError(f"{method}: {message['error']}")
                return message.get("result", {})

    def page(self, method, params=None):
        return self.call(method, params, session=True)

    def evaluate(self, expression):
        result = self.page("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True})
        if "exceptionDetails" in result:
            raise BrowserError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout, what):
        """Polls a script expression until it is true; the last value otherwise."""
        deadline = time.monotonic() + timeout
        while True:
            value = self.evaluate(expression)
            if value:
                return value
            if time.monotonic() > deadline:
                raise BrowserError(f"timed out after {timeout} s waiting for {what}")
            time.sleep(0.1)

    def viewport(self, width, height, mobile):
        self.page("Emulation.setDeviceMetricsOverride", {"width": width, "height": height, "mobile": mobile,
                                                         "deviceScaleFactor": 3 if mobile else 1})

    def navigate(self, url):
        self.page("Page.navigate", {"url": url})
        self.wait_for("document.readyState === 'complete'", 15, "the page to load")

    def click(self, x, y):
        for kind in ("mouseMoved", "mousePressed", "mouseReleased"):
            self.page("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left",
                                                   "clickCount": 0 if kind == "mouseMoved" else 1})

    def screenshot(self, path):
        data = self.page("Page.captureScreenshot", {"format": "png"})["data"]
        with open(path, "wb") as file:
            file.write(base64.b64decode(data))
