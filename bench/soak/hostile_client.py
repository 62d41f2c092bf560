#!/usr/bin/env python3
"""Hostile clients against qvserver-headless on 127.0.0.1, beside a few well-behaved ones.

lockout: 50 clients connect and never send a head; whenever the server cuts or refuses one, it connects
again at once. Meanwhile well-behaved clients ask for "/" one after the other. Reports how many of their
requests were served, refused (503) or failed, and the slowest answer.

slow: clients ask for a large answer and never read it, while a well-behaved client keeps asking for
"/"; one more client keeps sending while it receives "/screen". Reports how long the non-readers held
their connections, whether the sending client got its whole answer, and the well-behaved client's count.

Descriptors, threads and resident memory of the server are printed before and after each case.
Standard library only.
"""

import argparse
import base64
import socket
import sys
import threading
import time

from soak_client import Process

# Connection states of Linux's TCP_INFO: the peer has closed its end; the connection is gone.
TCP_CLOSE = 7
TCP_CLOSE_WAIT = 8


def request(path, user, password):
    credentials = base64.b64encode(("%s:%s" % (user, password)).encode()).decode()
    return ("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Basic %s\r\n\r\n" % (path, credentials)).encode()


def read_answer(sock):
    data = b""
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return data
        data += chunk


def status_of(data):
    parts = data.split(b" ", 2)
    return int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else None


def server_figures(process, label):
    print("%-28s descriptors %4d   threads %3d   resident %6d KB" %
          (label, process.descriptors(), process.threads(), process.resident_kb()))


def well_behaved(options, path, stop, counts, lock):
    while not stop.is_set():
        started = time.monotonic()
        outcome = "failed"
        try:
            with socket.create_connection(("127.0.0.1", options.port), timeout=options.timeout) as sock:
                sock.sendall(request(path, options.user, options.password))
                status = status_of(read_answer(sock))
                outcome = {200: "served", 503: "refused"}.get(status, "failed")
        except OSError:
            pass
        with lock:
            counts[outcome] += 1
            counts["slowest"] = max(counts["slowest"], time.monotonic() - started)


def idle_reconnecting(options, stop, counts, lock):
    sock = None
    while not stop.is_set():
        try:
            if sock is None:
                sock = socket.create_connection(("127.0.0.1", options.port), timeout=options.timeout)
                with lock:
                    counts["connections"] += 1
            sock.settimeout(0.2)
            if sock.recv(4096) == b"":
                sock.close()
                sock = None
        except socket.timeout:
            continue
        except OSError:
            if sock is not None:
                sock.close()
            sock = None
    if sock is not None:
        sock.close()


def lockout(options, process):
    server_figures(process, "lockout: before")
    stop = threading.Event()
    lock = threading.Lock()
    hostile = {"connections": 0}
    probes = {"served": 0, "refused": 0, "failed": 0, "slowest": 0.0}
    threads = [threading.Thread(target=idle_reconnecting, args=(options, stop, hostile, lock))
               for _ in range(options.hostile)]
    for thread in threads:
        thread.start()
    time.sleep(1.0)  # let the hostile clients take every slot first
    probe_threads = [threading.Thread(target=well_behaved, args=(options, "/", stop, probes, lock))
                     for _ in range(options.probes)]
    for thread in probe_threads:
        thread.start()
    time.sleep(options.seconds)
    stop.set()
    for thread in threads + probe_threads:
        thread.join()
    print("lockout: %d hostile clients made %d connections in %.0f s; well-behaved requests: served %d, "
          "refused %d, failed %d, slowest %.2f s" %
          (options.hostile, hostile["connections"], options.seconds, probes["served"], probes["refused"],
           probes["failed"], probes["slowest"]))
    time.sleep(2.0)
    server_figures(process, "lockout: after")
    return probes["served"] > 0 and probes["failed"] == 0


def non_reader(options, path, stop):
    try:
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as sock:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            sock.settimeout(options.timeout)
            sock.connect(("127.0.0.1", options.port))
            sock.sendall(request(path, options.user, options.password))
            stop.wait()  # never reads
    except OSError:
        pass


def sending_while_receiving(options, result):
    junk = b"j" * (1024 * 1024)
    with socket.create_connection(("127.0.0.1", options.port), timeout=options.timeout) as sock:
        sock.sendall(request("/screen", options.user, options.password))
        received = []

        def reader():
            received.append(read_answer(sock))

        thread = threading.Thread(target=reader)
        thread.start()
        sent = 0
        try:
            while thread.is_alive() and sent < 64 * 1024 * 1024:
                sock.sendall(junk)
                sent += len(junk)
        except OSError:
            pass
        thread.join()
        data = received[0] if received else b""
        head, _, body = data.partition(b"\r\n\r\n")
        length = [int(line.split(b":")[1]) for line in head.split(b"\r\n") if line.lower().startswith(b"content-length:")]
        result["complete"] = bool(length) and len(body) == length[0]
        result["sent"] = sent


def slow(options, process, baseline):
    server_figures(process, "slow clients: before")
    stop = threading.Event()
    readers_done = threading.Event()
    lock = threading.Lock()
    probes = {"served": 0, "refused": 0, "failed": 0, "slowest": 0.0}
    started = time.monotonic()
    readers = [threading.Thread(target=non_reader, args=(options, options.large_path, readers_done))
               for _ in range(options.non_readers)]
    for thread in readers:
        thread.start()
    probe = threading.Thread(target=well_behaved, args=(options, "/", stop, probes, lock))
    probe.start()
    sender = {}
    sending_while_receiving(options, sender)
    # The server holds a descriptor for each non-reader until it gives up on it. An answer that fits into
    # the socket's buffers is let go of at once: the kernel then keeps trying on its own.
    time.sleep(1.0)
    held = None
    while time.monotonic() - started < options.stall_limit * 4:
        if process.descriptors() <= baseline:
            held = time.monotonic() - started
            break
        time.sleep(0.25)
    readers_done.set()
    for thread in readers:
        thread.join()
    stop.set()
    probe.join()
    print("slow clients: the server let go of %d non-readers of %s after %s (stall limit %d s); "
          "a client sending %d KB while receiving /screen got %s answer; well-behaved requests meanwhile: "
          "served %d, refused %d, failed %d" %
          (options.non_readers, options.large_path, "%.1f s" % held if held is not None else "NEVER",
           options.stall_limit, sender.get("sent", 0) // 1024,
           "the whole" if sender.get("complete") else "an INCOMPLETE",
           probes["served"], probes["refused"], probes["failed"]))
    time.sleep(2.0)
    server_figures(process, "slow clients: after")
    return sender.get("complete", False) and held is not None and held < options.stall_limit * 1.5


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--hostile", type=int, default=50)
    parser.add_argument("--probes", type=int, default=2)
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--non-readers", type=int, default=5)
    parser.add_argument("--large-path", default="/screen")
    parser.add_argument("--stall-limit", type=int, default=30)
    parser.add_argument("--timeout", type=float, default=60.0)
    options = parser.parse_args()
    process = Process(options.pid)
    with socket.create_connection(("127.0.0.1", options.port), timeout=options.timeout) as sock:
        sock.sendall(request("/screen", options.user, options.password))
        read_answer(sock)  # the first picture opens the display
    time.sleep(0.5)
    baseline = process.descriptors()  # the server's own, with no client connected
    ok = lockout(options, process)
    ok = slow(options, process, baseline) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
