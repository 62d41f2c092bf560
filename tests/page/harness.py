"""Processes the page checks run: a private Xvfb and qvserver-headless in a folder of its own."""

import os
import pathlib
import shutil
import socket
import subprocess
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_listening(port, timeout=10):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing listens on port {port}")


class Xvfb:
    def __init__(self, folder, size="1280x1024"):
        self.prefix = str(pathlib.Path(folder) / "xvfb")
        subprocess.run(["bash", str(ROOT / "scripts/xvfb.sh"), "start", self.prefix, size], check=True)
        self.display = pathlib.Path(self.prefix + ".display").read_text().strip()

    def pointer(self):
        """The pointer's position on this screen, as xdotool reports it."""
        text = subprocess.run(["xdotool", "getmouselocation", "--shell"], env={**os.environ, "DISPLAY": self.display},
                              check=True, capture_output=True, text=True).stdout
        values = dict(line.split("=", 1) for line in text.split())
        return int(values["X"]), int(values["Y"])

    def stop(self):
        subprocess.run(["bash", str(ROOT / "scripts/xvfb.sh"), "stop", self.prefix], check=False)


def settings_text(port, authenticate=False, user="", password=""):
    return (f"[IMAGE]\r\nQuality=60\r\n[WWW]\r\nPort={port}\r\nUser={user}\r\nPass={password}\r\n"
            f"Authenticate={'yes' if authenticate else 'no'}\r\n"
            "[QV]\r\nEnableClick=yes\r\nMinRemake=0\r\nScaleDwonImage=no\r\nDrawTime=yes\r\nResolveHostname=no\r\n"
            "[TARGET]\r\nDesktop=yes\r\n")


class HeadlessServer:
    """qvserver-headless copied into folder with data/ beside it, so its working files stay there."""

    def __init__(self, binary, folder, display, settings):
        self.folder = pathlib.Path(folder)
        (self.folder / "data").mkdir(parents=True, exist_ok=True)
        shutil.copy(binary, self.folder / "qvserver-headless")
        for name in ("top.html", "wait.jpg"):
            shutil.copy(ROOT / "data" / name, self.folder / "data" / name)
        (self.folder / "current.ini").write_text(settings)
        self.display = display
        self.process = None

    def start(self, port):
        self.process = subprocess.Popen([str(self.folder / "qvserver-headless")],
                                        env={**os.environ, "DISPLAY": self.display}, cwd="/")
        wait_listening(port)

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=15)
        self.process = None
