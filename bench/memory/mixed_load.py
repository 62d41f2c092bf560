#!/usr/bin/env python3
"""Sustained mixed traffic for the memory benchmark, on 127.0.0.1 for a given time: viewer pages, pictures
(each a capture when MinRemake is 0), clicks, clients that read their picture slowly, and now and then a
burst of more clients than the server has slots, so that workers come and go. Standard library only.
Prints one line of counts at the end."""

import argparse
import collections
import random
import socket
import threading
import time

READ_BYTES = 65536
SLOW_READ_BYTES = 4096
SLOW_READ_PAUSE = 0.05
BURST_EVERY_SECONDS = 30
BURST_CLIENTS = 80
CLICK_PAUSE_SECONDS = 2.0


def exchange(port, path, timeout, slow=False):
    """One request; the status code, or None when the connection failed."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as sock:
            sock.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % path).encode())
            data = b""
            while True:
                chunk = sock.recv(SLOW_READ_BYTES if slow else READ_BYTES)
                if not chunk:
                    break
                if len(data) < 16:
                    data += chunk[:16]
                if slow:
                    time.sleep(SLOW_READ_PAUSE)
            return int(data[9:12]) if data.startswith(b"HTTP/1.1 ") else None
    except (OSError, ValueError):
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--seconds", type=float, required=True)
    parser.add_argument("--pages", type=int, default=10, help="clients asking for the viewer page")
    parser.add_argument("--pictures", type=int, default=20, help="clients asking for the picture")
    parser.add_argument("--slow", type=int, default=4, help="clients reading their picture slowly")
    parser.add_argument("--clickers", type=int, default=2)
    parser.add_argument("--timeout", type=float, default=30.0)
    args = parser.parse_args()

    end = time.monotonic() + args.seconds
    counts = collections.Counter()
    counts_lock = threading.Lock()

    def record(kind, status):
        with counts_lock:
            counts["%s %s" % (kind, status if status is not None else "failed")] += 1

    def loop(kind, pick_path, slow=False, pause=0.0):
        while time.monotonic() < end:
            record(kind, exchange(args.port, pick_path(), args.timeout, slow))
            if pause:
                time.sleep(pause)

    def burst_loop():
        while time.monotonic() + BURST_EVERY_SECONDS < end:
            time.sleep(BURST_EVERY_SECONDS)
            burst = [threading.Thread(target=lambda: record("burst", exchange(args.port, "/", args.timeout)))
                     for _ in range(BURST_CLIENTS)]
            for thread in burst:
                thread.start()
            for thread in burst:
                thread.join()

    threads = []
    threads += [threading.Thread(target=loop, args=("page", lambda: "/")) for _ in range(args.pages)]
    threads += [threading.Thread(target=loop, args=("picture", lambda: "/screen")) for _ in range(args.pictures)]
    threads += [threading.Thread(target=loop, args=("slow", lambda: "/screen", True)) for _ in range(args.slow)]
    click = lambda: "/click?%d,%d" % (random.randrange(1920), random.randrange(1080))
    threads += [threading.Thread(target=loop, args=("click", click, False, CLICK_PAUSE_SECONDS))
                for _ in range(args.clickers)]
    threads.append(threading.Thread(target=burst_loop))
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    print("answers: " + ", ".join("%s %d" % item for item in sorted(counts.items())))


if __name__ == "__main__":
    main()
