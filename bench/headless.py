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

SECONDS = int(sys.argv[1]) if len(sys.argv) > 1 else 60


def cpu_seconds(pid):
    """CPU time in nanoseconds of precision: the scheduler's own account."""
    with open("/proc/%d/schedstat" % pid) as f:
        return int(f.read().split()[0]) / 1e9


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


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
        print("hold-off ms  recorder us/line  python us/line  ratio  recorder MB")
    for h in holdoffs:
        measure(h)


def measure(holdoff):
    home = k.Home(header=False)
    sim = k.Sim(home, "--line-rate", tag="sim")
    py_home = tempfile.TemporaryDirectory(prefix="kestro-bench-py-")
    py_link = os.path.join(py_home.name, "meter")
    py_sim = subprocess.Popen([k.SIM, "--link", py_link, "--line-rate"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    py_sim.stdout.readline()
    k.wait_for(lambda: os.path.exists(py_link), 5, "the second simulator")
    rec = k.Recorder(home, "--record", env=home.env(**({"KESTRO_READ_HOLDOFF_MS": holdoff} if holdoff else {})))
    logger = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "minimal_logger.py"),
                               py_link, py_home.name])
    py_files = lambda: [os.path.join(py_home.name, n) for n in os.listdir(py_home.name) if n.endswith(".dat")]
    k.wait_for(lambda: home.record_files("LPF") and py_files(), 10, "both to record")
    time.sleep(2)  # past the start-up of both

    before = (cpu_seconds(rec.proc.pid), lines_in(home.record_files()),
              cpu_seconds(logger.pid), lines_in(py_files()))
    time.sleep(SECONDS)
    after = (cpu_seconds(rec.proc.pid), lines_in(home.record_files()),
             cpu_seconds(logger.pid), lines_in(py_files()))
    rss = rss_kib(rec.proc.pid)
    mapped = open("/proc/%d/maps" % rec.proc.pid).read()
    rec.terminate()
    logger.terminate()
    logger.wait()
    sim.stop()
    py_sim.terminate()
    py_sim.wait()

    rec_lines, py_lines = after[1] - before[1], after[3] - before[3]
    rec_us = (after[0] - before[0]) / max(rec_lines, 1) * 1e6
    py_us = (after[2] - before[2]) / max(py_lines, 1) * 1e6
    home.cleanup()
    py_home.cleanup()
    if holdoff is not None:
        print("%11s  %16.1f  %14.1f  %5.2f  %11.1f" % (holdoff, rec_us, py_us, rec_us / py_us, rss / 1024), flush=True)
        return
    print("seconds: %d" % SECONDS)
    print("recorder: %d lines, %.1f us CPU per line" % (rec_lines, rec_us))
    print("python logger: %d lines, %.1f us CPU per line" % (py_lines, py_us))
    print("ratio recorder/python: %.2f (goal: at most 0.25)" % (rec_us / py_us if py_us else float("nan")))
    print("recorder resident memory: %.1f MB (goal: under 20)" % (rss / 1024))
    print("recorder maps Qt Widgets or Gui: %s" % ("yes" if ("libQt6Widgets" in mapped or "libQt6Gui" in mapped)
                                                  else "no"))


if __name__ == "__main__":
    main()
