#!/usr/bin/env python3
"""Soak client for qvserver-headless: mixed traffic over many concurrent connections, with the access log
made unwritable for a few seconds at a time, then checks that the server kept its descriptors, threads,
log and pictures in order. Talks to 127.0.0.1 only. Standard library only.

Every connection the server accepts is answered and logged exactly once, so the log of a segment run
while log.txt was writable must hold exactly one line per connection of that segment. Traffic is drained
(every client done and every server worker ended) before each switch of the log file, so the count is
exact.
"""

import argparse
import base64
import collections
import errno
import os
import random
import re
import socket
import struct
import sys
import threading
import time

SERVER = "ORV-HTTPD/0.1"
BAD_REQUEST = (b"HTTP/1.1 400 Bad Request\r\nServer: " + SERVER.encode() + b"\r\nContent-Length: 89\r\n\r\n"
               b"<html><head><title>Error 400</title></head><body>HTTP/1.1 400 Bad Request. </body></html>")
UNAVAILABLE = (b"HTTP/1.1 503 Service Unavailable\r\nServer: " + SERVER.encode() + b"\r\nContent-Length: 97\r\n\r\n"
               b"<html><head><title>Error 503</title></head><body>HTTP/1.1 503 Service Unavailable. </body></html>")
NOT_FOUND_BODY = b"<html><head><title>Error 404</title></head><body><b>HTTP/1.1 404 File Not Found. </b></body></html>"
UNAUTHORIZED_BODY = (b"<html><head><title>Error 401</title></head><body><b>HTTP/1.1 401 Authorization Required. "
                     b"</b></body></html>")
VIEWER_PAGE_LENGTH = 180
SLOTS = 50  # connection slots, each of which may keep a parked worker

# date time request status length host address, CR LF
LOG_LINE = re.compile(rb"^(\d{4})/(\d\d)/(\d\d) (\d\d):(\d\d):(\d\d) (\S*) (\d{3}) (\d+) (\S+) (\d+\.\d+\.\d+\.\d+)$")

NOT_FOUND_PATHS = ["/nothing", "/screen?1", "/Screen", "/click", "/index.html", "/log.txt", "/current.ini",
                   "/screen.jpg", "/data/wait.jpg", "/../../etc/passwd", "/screen/../log.txt", "//screen",
                   "/%2e%2e/current.ini", "/a%0Ab", ""]
MALFORMED_HEADS = [b"POST / HTTP/1.1\r\n\r\n", b"get / HTTP/1.1\r\n\r\n", b"HEAD / HTTP/1.1\r\n\r\n",
                   b"GET /index.html\r\n\r\n", b"GET\r\n\r\n", b"\x00\x01\x02GET / HTTP/1.1\r\n\r\n",
                   b"GET /a\rb HTTP/1.1\r\n\r\n", b"GET /\x00 HTTP/1.1\r\n\r\n", b"\r\n\r\n\r\n\r\n"]

# Kinds of connection and their share of the traffic; clicks are scheduled separately (each costs the
# server 1.1 s of a worker slot).
WEIGHTS = {
    "page": 18, "screen": 22, "screen_slash": 5, "not_found": 10, "malformed": 9, "junk": 3,
    "half_head": 4, "head_1024": 2, "head_64k": 1, "no_credentials": 5, "wrong_credentials": 7,
    "vanish_in_head": 8, "vanish_after_head": 6,
}
CLICK_EVERY = 1000
BUSY_PAUSE_SECONDS = 0.02


class Outcome:
    """What one connection produced: the answer's status (None when none was read), an error text, and
    the log entries the server may have written for it ((request text, status) alternatives, the likelier
    first)."""

    def __init__(self, kind):
        self.kind = kind
        self.status = None
        self.error = None
        self.reset = False
        self.log_options = []
        self.logged = None
        self.jpeg = None


def basic(user, password):
    return "Basic " + base64.b64encode((user + ":" + password).encode("latin-1")).decode()


def read_all(sock):
    chunks = []
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return b"".join(chunks)
        chunks.append(chunk)


def split_answer(data):
    head, separator, body = data.partition(b"\r\n\r\n")
    if not separator:
        return None, {}, b""
    lines = head.split(b"\r\n")
    parts = lines[0].split(b" ", 2)
    if len(parts) < 2 or parts[0] != b"HTTP/1.1" or not parts[1].isdigit():
        return None, {}, b""
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(b": ")
        headers[name.decode("latin-1").lower()] = value.decode("latin-1")
    return int(parts[1]), headers, body


class Traffic:
    def __init__(self, options):
        self.options = options
        self.good = basic(options.user, options.password)
        self.wrong = basic(options.user, options.password + "x")

    def request(self, path, authorization):
        head = "GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: soak\r\n" % path
        if authorization:
            head += "Authorization: %s\r\n" % authorization
        return (head + "\r\n").encode("latin-1")

    def connect(self):
        sock = socket.create_connection(("127.0.0.1", self.options.port), timeout=self.options.timeout)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return sock

    def run(self, kind, rng):
        outcome = Outcome(kind)
        try:
            with self.connect() as sock:
                self.exchange(sock, kind, rng, outcome)
        except OSError as error:
            if not isinstance(error, ConnectionError) and error.errno not in (errno.ENOTCONN, errno.EPIPE):
                outcome.error = "%s: %s" % (type(error).__name__, error)
                return outcome
            # A full connection table answers 503 and closes at once; a client still sending then meets a
            # reset that can take the answer with it. The log tells which it was (see Soak.check_log).
            if outcome.status is None:
                outcome.reset = True
                outcome.log_options = [("-", 503)] + [o for o in outcome.log_options if o != ("-", 503)]
            elif outcome.error is None:
                outcome.error = "reset after the answer began"
        if outcome.status == 503:
            outcome.log_options = [("-", 503)]
        return outcome

    def exchange(self, sock, kind, rng, outcome):
        if kind in ("page", "screen", "screen_slash", "click"):
            path = {"page": "/", "screen": "/screen", "screen_slash": "/screen/",
                    "click": "/click?%d,%d" % (rng.randrange(1000), rng.randrange(800))}[kind]
            outcome.log_options = [(path, 200), ("-", 503)]
            sock.sendall(self.request(path, self.good))
            self.expect_ok(read_all(sock), kind, path, outcome)
        elif kind == "not_found":
            path = rng.choice(NOT_FOUND_PATHS)
            outcome.log_options = [(path, 404), ("-", 503)]
            sock.sendall(self.request(path, self.good))
            self.expect_fixed(read_all(sock), 404, NOT_FOUND_BODY, path, outcome)
        elif kind in ("no_credentials", "wrong_credentials"):
            path = rng.choice(["/", "/screen", "/nothing"])
            outcome.log_options = [(path, 401), ("-", 503)]
            sock.sendall(self.request(path, None if kind == "no_credentials" else self.wrong))
            self.expect_fixed(read_all(sock), 401, UNAUTHORIZED_BODY, path, outcome)
        elif kind in ("malformed", "junk", "half_head", "head_1024", "head_64k"):
            outcome.log_options = [("-", 400), ("-", 503)]
            self.bad_request(sock, kind, rng, outcome)
        elif kind == "vanish_in_head":
            # Leaves after part of a head, half the time with a reset instead of an orderly close.
            sock.sendall(self.request("/screen", self.good)[:rng.randrange(1, 40)])
            if rng.random() < 0.5:
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            outcome.log_options = [("-", 400), ("-", 503)]
        elif kind == "vanish_after_head":
            # Mostly the page: a vanished snapshot request keeps its slot while it waits for a capture.
            path = rng.choice(["/", "/", "/", "/screen"])
            sock.sendall(self.request(path, self.good))
            outcome.log_options = [(path, 200), ("-", 503)]
        else:
            raise ValueError(kind)

    def bad_request(self, sock, kind, rng, outcome):
        if kind == "malformed":
            sock.sendall(rng.choice(MALFORMED_HEADS))
        elif kind == "junk":
            junk = bytes(rng.randrange(256) for _ in range(rng.randrange(5, 600)))
            sock.sendall(b"\xff" + junk.replace(b"\r\n\r\n", b"....") + b"\r\n\r\n")
        elif kind == "half_head":
            sock.sendall(self.request("/screen", self.good)[:rng.randrange(1, 60)])
            sock.shutdown(socket.SHUT_WR)
        elif kind == "head_1024":
            # Exactly the bound and no blank line: answered without waiting for more bytes or the close.
            sock.sendall(b"GET /" + b"a" * 1019)
        else:
            # Far beyond the bound: the server answers after 1024 bytes while the rest is still arriving,
            # so the answer may be lost to a reset; the log line is certain.
            try:
                sock.sendall(b"GET /" + b"b" * 65536 + b"\r\n\r\n")
            except OSError:
                pass
            outcome.log_options = [("-", 400), ("-", 503)]
            try:
                data = read_all(sock)
            except OSError:
                return
            if data:
                self.expect_fixed(data, 400, None, "-", outcome)
            return
        self.expect_fixed(read_all(sock), 400, None, "-", outcome)

    def expect_fixed(self, data, status, body, path, outcome):
        if data == UNAVAILABLE:
            outcome.status = 503
            return
        answer_status, headers, received = split_answer(data)
        outcome.status = answer_status
        if status == 400:
            if data != BAD_REQUEST:
                outcome.error = "400 answer not byte for byte"
        elif answer_status != status or received != body or headers.get("content-length") != str(len(body)):
            outcome.error = "expected %d, got %r" % (status, data[:60])
        elif status == 401 and headers.get("www-authenticate") != 'Basic realm="%s"' % self.options.realm:
            outcome.error = "401 without the realm"
        outcome.log_options = [(path, status)]

    def expect_ok(self, data, kind, path, outcome):
        if data == UNAVAILABLE:
            outcome.status = 503
            return
        status, headers, body = split_answer(data)
        outcome.status = status
        outcome.log_options = [(path, status if status is not None else 200)]
        if status != 200:
            outcome.error = "expected 200, got %r" % data[:60]
            return
        length = headers.get("content-length")
        if length is None or int(length) != len(body):
            outcome.error = "Content-Length %s, body %d bytes" % (length, len(body))
            return
        if kind.startswith("screen"):
            outcome.jpeg = hash(body)
            if headers.get("content-type") != "image/jpeg":
                outcome.error = "snapshot type %s" % headers.get("content-type")
            elif body[:2] != b"\xff\xd8" or body[-2:] != b"\xff\xd9":
                outcome.error = "snapshot is not a whole JPEG"
        elif headers.get("content-type") != "text/html":
            outcome.error = "page type %s" % headers.get("content-type")


class Process:
    def __init__(self, pid):
        self.pid = pid

    def alive(self):
        try:
            with open("/proc/%d/stat" % self.pid) as stat:
                return stat.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
        except OSError:
            return False

    def descriptors(self):
        return len(os.listdir("/proc/%d/fd" % self.pid))

    def threads(self):
        return len(os.listdir("/proc/%d/task" % self.pid))

    def resident_kb(self):
        with open("/proc/%d/status" % self.pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0


class Soak:
    def __init__(self, options):
        self.options = options
        self.traffic = Traffic(options)
        self.process = Process(options.pid)
        self.rng = random.Random(options.seed)
        self.lock = threading.Lock()
        self.issued = 0
        self.outcomes = []
        self.failures = []
        self.log_offset = 0
        self.log_checked = 0
        self.log_expected = 0
        self.unlogged = 0
        self.pictures = set()
        self.resident_track = []

    def next_kind(self):
        with self.lock:
            self.issued += 1
            if self.issued % CLICK_EVERY == 0:
                return "click", random.Random(self.rng.random())
            kind = self.rng.choices(list(WEIGHTS), weights=list(WEIGHTS.values()))[0]
            return kind, random.Random(self.rng.random())

    def segment(self, count=None, seconds=None):
        """Runs connections on every client thread until count connections were made or the time is
        up, then waits until the server's workers have all ended."""
        results = []
        deadline = time.monotonic() + seconds if seconds else None
        budget = [min(count, self.options.requests - self.issued) if count is not None
                  else self.options.requests - self.issued]

        def client():
            while True:
                with self.lock:
                    if budget[0] <= 0 or (deadline and time.monotonic() >= deadline):
                        return
                    budget[0] -= 1
                kind, rng = self.next_kind()
                outcome = self.traffic.run(kind, rng)
                with self.lock:
                    results.append(outcome)
                if outcome.status == 503 or outcome.reset:
                    # A full table: give the slots a moment rather than hammering them like a flood.
                    time.sleep(BUSY_PAUSE_SECONDS)

        threads = [threading.Thread(target=client) for _ in range(self.options.connections)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.settle()
        self.outcomes.extend(results)
        return results

    def settle(self):
        # A finished worker stays parked on its slot for the slot's next client, so a leak shows as more
        # threads than the server's own plus one per slot.
        limit = time.monotonic() + 30
        while self.process.threads() > self.base_threads + SLOTS:
            if time.monotonic() > limit:
                self.failures.append("server threads did not return to at most %d after a segment"
                                     % (self.base_threads + SLOTS))
                return
            time.sleep(0.02)

    def read_log(self):
        with open(self.options.log, "rb") as log:
            log.seek(self.log_offset)
            data = log.read()
        self.log_offset += len(data)
        return data

    def check_log(self, results, label):
        data = self.read_log()
        lines = data.split(b"\r\n")
        if lines and lines[-1] == b"":
            lines.pop()
        elif data:
            self.failures.append("%s: log does not end with CR LF" % label)
        found = collections.Counter()
        for line in lines:
            match = LOG_LINE.match(line)
            if not match or b"\n" in line or match.group(10) != b"-" or match.group(11) != b"127.0.0.1":
                self.failures.append("%s: malformed log line %r" % (label, line[:120]))
                continue
            found[(match.group(7).decode("latin-1"), int(match.group(8)))] += 1
        self.log_checked += len(lines)
        self.log_expected += len(results)
        if len(lines) != len(results):
            self.failures.append("%s: %d log lines for %d responses" % (label, len(lines), len(results)))
        # Connections whose answer was seen have one possible line; the rest may have met a full table.
        unmatched = 0
        for outcome in sorted(results, key=lambda item: len(item.log_options)):
            for option in outcome.log_options:
                if found[option] > 0:
                    found[option] -= 1
                    outcome.logged = option
                    break
            else:
                unmatched += 1
            if outcome.reset and outcome.logged is not None and outcome.logged[1] != 503:
                outcome.error = "reset although the server answered %d" % outcome.logged[1]
        if unmatched:
            leftover = {key: value for key, value in found.items() if value}
            self.failures.append("%s: %d responses without their log line; unexpected lines %r"
                                 % (label, unmatched, dict(list(leftover.items())[:5])))

    def make_log_unwritable(self):
        os.rename(self.options.log, self.options.log + ".saved")
        os.mkdir(self.options.log)

    def make_log_writable(self):
        os.rmdir(self.options.log)
        os.rename(self.options.log + ".saved", self.options.log)

    def warm_up(self):
        # One of each kind, so that lazily opened resources (the screen connections of the capture and
        # of the click) exist before the starting counts are taken. Whatever the log held before is not
        # this run's.
        if os.path.exists(self.options.log):
            self.log_offset = os.path.getsize(self.options.log)
        self.base_threads = self.process.threads()
        results = [self.traffic.run(kind, random.Random(1)) for kind in list(WEIGHTS) + ["click"]]
        self.settle()
        self.check_log(results, "warm-up")
        self.start_descriptors = self.process.descriptors()
        self.start_threads = self.process.threads()
        self.start_resident = self.process.resident_kb()

    def run(self):
        self.warm_up()
        started = time.monotonic()
        windows = self.options.windows
        share = self.options.requests // (windows + 1) // 2
        for window in range(windows):
            results = self.segment(count=share)
            self.check_log(results, "segment %d" % (window + 1))
            self.resident_track.append(self.process.resident_kb())
            self.make_log_unwritable()
            try:
                results = self.segment(count=share // 2, seconds=self.options.unwritable_seconds)
                self.unlogged += len(results)
            finally:
                self.make_log_writable()
            if self.read_log():
                self.failures.append("window %d: lines appeared in the log" % (window + 1))
        results = self.segment()
        self.check_log(results, "segment %d" % (windows + 1))
        self.resident_track.append(self.process.resident_kb())
        self.elapsed = time.monotonic() - started
        self.final_checks()

    def final_checks(self):
        self.alive = self.process.alive()
        final = self.traffic.run("page", random.Random(2)) if self.alive else None
        self.answers = final is not None and final.status == 200 and final.error is None
        if final is not None:
            self.settle()
            self.check_log([final], "final request")
        self.end_descriptors = self.process.descriptors() if self.alive else -1
        self.end_threads = self.process.threads() if self.alive else -1
        self.end_resident = self.process.resident_kb() if self.alive else -1
        if not self.alive:
            self.failures.append("the server process is gone")
        elif not self.answers:
            self.failures.append("the server does not answer afterwards")
        if self.end_descriptors != self.start_descriptors:
            self.failures.append("descriptors %d -> %d" % (self.start_descriptors, self.end_descriptors))
        if self.end_threads > self.base_threads + SLOTS:
            self.failures.append("threads %d -> %d, more than one per slot" % (self.start_threads, self.end_threads))

    def report(self):
        by_kind = collections.defaultdict(collections.Counter)
        errors = collections.Counter()
        for outcome in self.outcomes:
            counts = by_kind[outcome.kind]
            counts["sent"] += 1
            counts["reset" if outcome.reset else "none" if outcome.status is None else str(outcome.status)] += 1
            if outcome.error:
                counts["errors"] += 1
                errors[(outcome.kind, outcome.error.split(":")[0])] += 1
            if outcome.jpeg is not None and outcome.error is None:
                self.pictures.add(outcome.jpeg)
        total = len(self.outcomes)
        print("requests: %d over %d connections in %.1f s (%.0f/s), seed %d"
              % (total, self.options.connections, self.elapsed, total / self.elapsed, self.options.seed))
        print("%-18s %6s %6s  %s" % ("kind", "sent", "errors", "answers by status"))
        for kind in sorted(by_kind):
            counts = by_kind[kind]
            statuses = ", ".join("%s:%d" % (key, value) for key, value in sorted(counts.items())
                                 if key not in ("sent", "errors"))
            print("%-18s %6d %6d  %s" % (kind, counts["sent"], counts["errors"], statuses))
        screens = sum(1 for outcome in self.outcomes if outcome.jpeg is not None)
        print("errors by kind: %s" % (dict(errors) if errors else "none"))
        print("snapshots: %d answers, all whole JPEGs: %s, %d distinct pictures (captures)"
              % (screens, "yes" if not any(o.kind.startswith("screen") and o.error for o in self.outcomes)
                 else "no", len(self.pictures)))
        print("descriptors: %d before, %d after" % (self.start_descriptors, self.end_descriptors))
        print("threads: %d before, %d after" % (self.start_threads, self.end_threads))
        print("resident memory: %d kB after warm-up, %s kB after each writable segment, %d kB at the end"
              % (self.start_resident, ", ".join(str(value) for value in self.resident_track), self.end_resident))
        print("log: %d lines for %d responses while writable; %d responses while unwritable (%d windows "
              "of %.0f s), none logged" % (self.log_checked, self.log_expected, self.unlogged,
                                           self.options.windows, self.options.unwritable_seconds))
        print("afterwards: process %s, %s" % ("alive" if self.alive else "gone",
                                              "answers 200" if self.answers else "does not answer"))
        if errors:
            self.failures.append("%d requests with errors" % sum(errors.values()))
        for failure in self.failures[:20]:
            print("FAIL: %s" % failure)
        print("RESULT: %s" % ("FAIL" if self.failures else "PASS"))
        return not self.failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--pid", type=int, required=True, help="the server process")
    parser.add_argument("--log", required=True, help="path of the server's log.txt")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--realm", required=True)
    parser.add_argument("--requests", type=int, default=20000)
    parser.add_argument("--connections", type=int, default=50)
    parser.add_argument("--windows", type=int, default=2, help="times the log is made unwritable")
    parser.add_argument("--unwritable-seconds", type=float, default=3.0)
    parser.add_argument("--timeout", type=float, default=60.0, help="per socket operation")
    parser.add_argument("--seed", type=int, default=int(time.time()))
    options = parser.parse_args()
    soak = Soak(options)
    soak.run()
    return 0 if soak.report() else 1


if __name__ == "__main__":
    sys.exit(main())
