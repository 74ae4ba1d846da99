"""Runs the headless recorder and bench/minimal_logger.py side by side, each
against its own simulator at the line rate, and prints CPU per recorded line.
With a list of read hold-offs (milliseconds, comma-separated) it runs once per
hold-off and prints a table row for each."""

import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
os.environ.setdefault("KESTRO_BIN_DIR", sys.argv[2] if len(sys.argv) > 2 else "build/bin")
import kestro_e2e as k  # noqa: E402
from procstat import rss_kib  # noqa: E402

SECONDS = int(sys.argv[1]) if len(sys.argv) > 1 else 60


def cpu_seconds(pid):
    """CPU time in nanoseconds of precision: the scheduler's own account."""
    with open("/proc/%d/schedstat" % pid) as f:
        return int(f.read().split()[0]) / 1e9



def lines_in(paths):
    n = 0
    for p in paths:
        with open(p, "rb") as f:
            n += f.read().count(b"\r\n")
    return n


def main():
    holdoffs = sys.argv[3].split(",") if len(sys.argv) > 3 else [None]
    if holdoffs != [None]:
        print("seconds: %d per hold-off" % SECONDS)
        print("hold-off ms  recorder us/line  python us/line  ratio  python+sync us/line  ratio+sync  recorder MB")
    for h in holdoffs:
        measure(h)


def start_logger(sync):
    """A simulator and the minimal logger on it, in a temporary folder."""
    home = tempfile.TemporaryDirectory(prefix="kestro-bench-py-")
    link = os.path.join(home.name, "meter")
    sim = subprocess.Popen([k.SIM, "--link", link, "--line-rate"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    sim.stdout.readline()
    k.wait_for(lambda: os.path.exists(link), 5, "a logger's simulator")
    logger = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "minimal_logger.py"), link,
                               home.name] + (["--sync"] if sync else []))
    files = lambda: [os.path.join(home.name, n) for n in os.listdir(home.name) if n.endswith(".dat")]
    return home, sim, logger, files


def measure(holdoff):
    home = k.Home(header=False)
    sim = k.Sim(home, "--line-rate", tag="sim")
    rec = k.Recorder(home, "--record", env=home.env(**({"KESTRO_READ_HOLDOFF_MS": holdoff} if holdoff else {})))
    loggers = [start_logger(False), start_logger(True)]
    k.wait_for(lambda: home.record_files("LPF") and all(l[3]() for l in loggers), 10, "all to record")
    time.sleep(2)  # past the start-up of all

    def sample():
        return [(cpu_seconds(rec.proc.pid), lines_in(home.record_files()))] + \
               [(cpu_seconds(l[2].pid), lines_in(l[3]())) for l in loggers]
    before = sample()
    time.sleep(SECONDS)
    after = sample()
    rss = rss_kib(rec.proc.pid)
    mapped = open("/proc/%d/maps" % rec.proc.pid).read()
    rec.terminate()
    sim.stop()
    for py_home, py_sim, logger, _ in loggers:
        logger.terminate()
        logger.wait()
        py_sim.terminate()
        py_sim.wait()
        py_home.cleanup()
    home.cleanup()

    per_line = [(a[0] - b[0]) / max(a[1] - b[1], 1) * 1e6 for a, b in zip(after, before)]
    rec_us, py_us, py_sync_us = per_line
    if holdoff is not None:
        print("%11s  %16.1f  %14.1f  %5.2f  %19.1f  %10.2f  %11.1f" % (
            holdoff, rec_us, py_us, rec_us / py_us, py_sync_us, rec_us / py_sync_us, rss / 1024), flush=True)
        return
    print("seconds: %d" % SECONDS)
    print("recorder: %d lines, %.1f us CPU per line" % (after[0][1] - before[0][1], rec_us))
    print("python logger: %d lines, %.1f us CPU per line" % (after[1][1] - before[1][1], py_us))
    print("python logger syncing once a second like the recorder: %d lines, %.1f us CPU per line" % (
        after[2][1] - before[2][1], py_sync_us))
    print("ratio recorder/python: %.2f (goal: at most 0.25)" % (rec_us / py_us if py_us else float("nan")))
    print("ratio recorder/python at the same durability: %.2f" % (rec_us / py_sync_us if py_sync_us else float("nan")))
    print("recorder resident memory: %.1f MB (goal: under 20)" % (rss / 1024))
    print("recorder maps Qt Widgets or Gui: %s" % ("yes" if ("libQt6Widgets" in mapped or "libQt6Gui" in mapped)
                                                  else "no"))

if __name__ == "__main__":
    main()
