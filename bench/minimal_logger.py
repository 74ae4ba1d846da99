"""The least a logger for the meter has to do, for comparison: arm the fast
values, read the link with plain os.read, and append every value as a line
(time; level) to a file per stream, each line written as it is complete.
With --sync it also makes what it wrote durable once a second, as the
recorder does, so that the two can be compared at the same durability."""

import math
import os
import struct
import sys
import time
import tty

SLOW = {b"lp", b"leq", b"max", b"leqs", b"maxs", b"lps"}
FAST = {b"p": 1000, b"q": 1000, b"r": 2000}


def stamp():
    t = time.time()
    return time.strftime("%H:%M:%S", time.localtime(t)).encode() + b",%03d" % (int(t * 1000) % 1000)


def main():
    link, out_dir = sys.argv[1], sys.argv[2]
    sync = "--sync" in sys.argv[3:]
    dirty, synced_at = set(), time.monotonic()
    fd = os.open(link, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    os.write(fd, b"gsn\rsmm 1\rawm 1\r")
    files = {}
    rest = b""
    while True:
        data = os.read(fd, 4096)
        if not data:
            break
        *lines, rest = (rest + data).split(b"\r")
        for line in lines:
            parts = line.split()
            if len(parts) < 2:
                continue
            key = parts[0].lower()
            if key in FAST:
                try:
                    v = struct.unpack(">f", bytes.fromhex(parts[1][:8].decode()))[0]
                    value = b"%.2f" % (FAST[key] * math.log10(v) / 100) if v > 0 else b""
                except ValueError:
                    continue
            elif key in SLOW and parts[1] != b"err":
                value = b"%.1f" % (int(parts[1]) / 10)
            else:
                continue
            f = files.get(key)
            if f is None:
                f = files[key] = open(os.path.join(out_dir, key.decode() + ".dat"), "ab", buffering=0)
            f.write(stamp() + b"; " + value.replace(b".", b",") + b"\r\n")
            dirty.add(f)
        if sync and dirty and time.monotonic() - synced_at >= 1.0:
            for f in dirty:
                os.fdatasync(f.fileno())
            dirty.clear()
            synced_at = time.monotonic()


if __name__ == "__main__":
    main()
