#!/usr/bin/env python3
"""proxy_test.py QVSERVER_HEADLESS -- the nginx recipe of docs/reverse-proxy.md, with a self-signed
certificate, in front of qvserver-headless with authentication on: whole pictures over HTTP/2 with the
credentials, 401 without them, 429 for a burst of guesses, and the live page under the /qv/ prefix in
headless Chromium."""

import os
import pathlib
import re
import subprocess
import sys
import tempfile

import harness
import viewer_checks as checks
from browser import Browser

SCREEN = (800, 600)
USER, PASSWORD = "viewer", "proxy-pass"


def nginx_configuration(folder, nginx_port, service_port):
    recipe = (harness.ROOT / "docs/nginx-qvserver.conf").read_text()
    recipe = recipe.replace("127.0.0.1:8080", f"127.0.0.1:{service_port}")
    recipe = recipe.replace("listen 443 ssl http2;", f"listen 127.0.0.1:{nginx_port} ssl http2;")
    recipe = recipe.replace("/etc/ssl/certs/screen.example.org.pem", f"{folder}/cert.pem")
    recipe = recipe.replace("/etc/ssl/private/screen.example.org.key", f"{folder}/key.pem")
    recipe = recipe.replace("/var/cache/nginx/qvserver", f"{folder}/cache")
    temporary = " ".join(f"{kind}_temp_path {folder}/{kind};" for kind in
                         ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
    return (f"daemon off;\nworker_processes 1;\npid {folder}/nginx.pid;\nerror_log {folder}/error.log;\n"
            f"events {{}}\nhttp {{\naccess_log {folder}/access.log;\n{temporary}\n{recipe}\n}}\n")


def curl(url, *options):
    result = subprocess.run(["curl", "-sk", "--http2", "-o", "-", "-w", "\n%{http_version} %{http_code}",
                             *options, url], capture_output=True, check=True)
    body, _, status = result.stdout.rpartition(b"\n")
    version, code = status.decode().split()
    return version, int(code), body


def check_with_curl(base):
    for attempt in range(3):
        version, code, body = curl(base + "screen", "-u", f"{USER}:{PASSWORD}")
        checks.expect(version == "2" and code == 200, f"picture {attempt + 1}: HTTP/{version} {code}")
        checks.expect(body.startswith(b"\xff\xd8") and body.endswith(b"\xff\xd9") and len(body) > 1000,
                      f"picture {attempt + 1} is a whole JPEG of {len(body)} bytes")
    _, code, _ = curl(base + "screen")
    checks.expect(code == 401, f"without credentials: {code}")


def check_guessing_is_limited(base):
    # 60 wrong passwords as fast as one HTTP/2 connection carries them.
    guesses = [part for number in range(60) for part in ("-o", "/dev/null", f"{base}?{number}")]
    result = subprocess.run(["curl", "-sk", "--http2", "-Z", "--parallel-max", "20", "-u", f"{USER}:guess",
                             "-w", "%{http_code}\\n", *guesses], capture_output=True, text=True)
    codes = [int(code) for code in result.stdout.split()]
    checks.expect(len(codes) == 60 and 429 in codes and codes.count(401) <= 40,
                  f"60 quick guesses: {codes.count(401)} x 401, {codes.count(429)} x 429")


def main():
    binary = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="qv-proxy-") as folder:
        os.chmod(folder, 0o755)  # nginx's workers run as nobody
        for kind in ("cache", "client_body", "proxy", "fastcgi", "uwsgi", "scgi"):
            os.mkdir(f"{folder}/{kind}", 0o777)
            os.chmod(f"{folder}/{kind}", 0o777)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-keyout", f"{folder}/key.pem",
                        "-out", f"{folder}/cert.pem"], check=True, capture_output=True)
        xvfb = harness.Xvfb(folder, f"{SCREEN[0]}x{SCREEN[1]}")
        server = nginx = browser = None
        try:
            service_port, nginx_port = harness.free_port(), harness.free_port()
            server = harness.HeadlessServer(binary, pathlib.Path(folder) / "server", xvfb.display,
                                            harness.settings_text(service_port, True, USER, PASSWORD))
            server.start(service_port)
            pathlib.Path(f"{folder}/nginx.conf").write_text(nginx_configuration(folder, nginx_port, service_port))
            nginx = subprocess.Popen(["nginx", "-p", folder, "-c", f"{folder}/nginx.conf"])
            harness.wait_listening(nginx_port)
            base = f"https://127.0.0.1:{nginx_port}/qv/"

            print("curl through nginx")
            check_with_curl(base)

            print("the live page through nginx, in Chromium")
            browser = Browser(["--ignore-certificate-errors"], user=USER, password=PASSWORD)
            browser.viewport(1280, 800, mobile=False)
            checks.open_live_page(browser, base, SCREEN)
            checks.check_fits(browser, "through nginx")
            checks.check_changes_without_reload(browser)
            checks.check_click(browser, xvfb.pointer, (500, 400), "through nginx")
            names = browser.evaluate("performance.getEntriesByType('resource').map(e => e.name)")
            checks.expect(all(name.startswith(base) for name in names),
                          f"all {len(names)} requests of the page stayed under {base}: {names}")
            protocols = browser.evaluate("[...new Set(performance.getEntriesByType('resource')"
                                         ".map(e => e.nextHopProtocol).filter(Boolean))]")
            checks.expect(protocols == ["h2"], f"the page talked HTTP/2: {protocols}")

            print("password guessing")
            check_guessing_is_limited(base)
        finally:
            if browser is not None:
                browser.close()
            if nginx is not None:
                nginx.terminate()
                nginx.wait(timeout=15)
            if server is not None:
                server.stop()
            xvfb.stop()
            error_log = pathlib.Path(f"{folder}/error.log")
            if error_log.exists() and re.search(r"\[(emerg|alert|crit)\]", error_log.read_text()):
                print(error_log.read_text())
    print("reverse proxy: all checks passed")


if __name__ == "__main__":
    try:
        main()
    except checks.CheckFailed as failure:
        print("FAILED:", failure)
        sys.exit(1)
