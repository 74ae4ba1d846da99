"""Web server benchmark against a demo station (--serve on loopback): the
station's CPU per request for 1, 1,000 and 4,000 pipelined requests, its
resident memory while 128 clients send requests and read no answer, and a
scrape while 128 idle and 128 half-sent connections hold every slot."""

import os
import socket
import sys
import time
import urllib.request

sys.dont_write_bytecode = True  # nothing is written into the checkout
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
os.environ.setdefault("KESTRO_BIN_DIR", sys.argv[1] if len(sys.argv) > 1 else "build/bin")
import kestro_e2e as k  # noqa: E402
from procstat import rss_kib  # noqa: E402

from test_remote import Station  # noqa: E402

REQUEST = b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"


def cpu_ns(pid):
    """CPU time of the program's main thread, where the server runs."""
    with open("/proc/%d/task/%d/schedstat" % (pid, pid)) as f:
        return int(f.read().split()[0])



def pipelined(port, n):
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(REQUEST * n)
    got = 0
    tail = b""
    while got < n:
        chunk = s.recv(1 << 20)
        if not chunk:
            break
        got += (tail + chunk).count(b"HTTP/1.1 200")
        tail = chunk[-16:]
    s.close()
    return got


def main():
    home = k.Home()
    rec = Station(home, "--demo", "--serve", "0")
    try:
        base = rec.url()
        port = int(base.rsplit(":", 1)[1].strip("/"))
        pid = rec.proc.pid
        time.sleep(2)
        t0, c0 = time.monotonic(), cpu_ns(pid)
        time.sleep(2)
        idle = (cpu_ns(pid) - c0) / (time.monotonic() - t0)  # the poll cycle's own share
        print("pipelined GET / on one connection (station CPU, idle share of %.1f %% taken off):" % (idle / 1e7))
        for n, rounds in ((1, 300), (1000, 3), (4000, 3)):
            t0, c0 = time.monotonic(), cpu_ns(pid)
            answered = sum(pipelined(port, n) for _ in range(rounds))
            spent = cpu_ns(pid) - c0 - idle * (time.monotonic() - t0)
            print("  %5d requests: %8.1f us per request, %7.1f ms per batch, %d/%d answered"
                  % (n, spent / 1e3 / (n * rounds), spent / 1e6 / rounds, answered, n * rounds))

        before = rss_kib(pid)
        clients = []
        for _ in range(128):
            s = socket.socket()
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            s.connect(("127.0.0.1", port))
            s.setblocking(False)
            clients.append([s, (b"GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" * 3000)])
        peak = before
        end = time.monotonic() + 5
        while time.monotonic() < end:
            for c in clients:
                if c[1]:
                    try:
                        c[1] = c[1][c[0].send(c[1]):]
                    except BlockingIOError:
                        pass
            peak = max(peak, rss_kib(pid))
            time.sleep(0.05)
        sent = sum(3000 * 47 - len(c[1]) for c in clients)
        print("128 clients that read no answer: resident %d KiB before, %d KiB at most (+%.1f MiB), %.1f MiB of "
              "requests sent" % (before, peak, (peak - before) / 1024, sent / 2**20))
        for c in clients:
            c[0].close()
        time.sleep(1)
        print("  after they went: %d KiB" % rss_kib(pid))

        for what, first in (("idle", b""), ("half-sent", b"GET /metr")):
            held = []
            for _ in range(128):
                s = socket.create_connection(("127.0.0.1", port))
                s.sendall(first)
                held.append(s)
            time.sleep(0.5)
            t0 = time.monotonic()
            with urllib.request.urlopen(base + "metrics", timeout=10) as r:
                status = r.status
                evicted = [line for line in r.read().decode().split("\n")
                           if line.startswith("kestro_http_connections_evicted_total")]
            print("scrape while 128 %s connections are held: %d in %.1f ms (%s)"
                  % (what, status, (time.monotonic() - t0) * 1e3, evicted[0] if evicted else "?"))
            for s in held:
                s.close()
            time.sleep(0.5)
    finally:
        rec.finish()
        home.cleanup()


if __name__ == "__main__":
    main()
