"""Soak benchmark: records at the line rate and prints throughput, CPU, memory and latency."""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
os.environ.setdefault("KESTRO_BIN_DIR", sys.argv[2] if len(sys.argv) > 2 else "build/bin")
import kestro_e2e as k  # noqa: E402
from procstat import rss_kib  # noqa: E402

SECONDS = int(sys.argv[1]) if len(sys.argv) > 1 else 600
TICK = os.sysconf("SC_CLK_TCK")


def proc_times(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK



def main():
    home = k.Home(header=False)
    cmdlog = os.path.join(home.root, "sim.cmds")
    sim = k.Sim(home, "--line-rate", "--cmd-log", cmdlog)
    t_start = time.time()
    rec = k.Recorder(home, "--record")
    pid = rec.proc.pid
    k.wait_for(lambda: os.path.exists(cmdlog) and os.path.getsize(cmdlog) > 0, 5, "first command")
    with open(cmdlog) as f:
        first_cmd_ms = int(f.readline().split()[0])
    startup_ms = first_cmd_ms - t_start * 1000
    time.sleep(2)
    rss_start = rss_kib(pid)
    cpu_start, wall_start = proc_times(pid), time.time()

    # Resident memory once a minute: after the first minute it must stay flat.
    rss_samples = []
    next_rss = time.time()
    # Watch the record files grow and note when each line became visible on disk.
    seen = {}   # path -> bytes read
    arrivals = {"slow": [], "fast": []}
    end = time.time() + SECONDS
    first_pass = True  # lines already on disk when watching starts have no arrival time
    while time.time() < end:
        if time.time() >= next_rss:
            rss_samples.append(rss_kib(pid))
            next_rss += 60
        now_ms = time.time() * 1000
        for path in home.record_files():
            kind = "fast" if os.path.basename(path).split("_")[1] in ("LPF", "LEQF", "RAW") else "slow"
            size = os.path.getsize(path)
            if size > seen.get(path, 0):
                with open(path, "rb") as f:
                    f.seek(seen.get(path, 0))
                    chunk = f.read(size - seen.get(path, 0))
                n = chunk.count(b"\r\n")
                seen[path] = seen.get(path, 0) + chunk.rfind(b"\r\n") + 2 if n else seen.get(path, 0)
                arrivals[kind] += [None if first_pass else now_ms] * n
        first_pass = False
        time.sleep(0.01)

    cpu = (proc_times(pid) - cpu_start) / (time.time() - wall_start) * 100
    rss_end = rss_kib(pid)
    stop_ms = time.time() * 1000
    first_slow_ms = 0
    rec.terminate()
    sim.stop()
    sent = sim.sent_lines()

    written = 0
    delays = []
    steady = []  # after the first slow sample: before it the hand-off does not run yet
    for kind, keys in (("slow", {"lp"}), ("fast", {"p"})):
        exp = k.expected_values(sent, keys)
        files = [p for p in home.record_files()
                 if (os.path.basename(p).split("_")[1] in ("LPF", "LEQF", "RAW")) == (kind == "fast")]
        rec_vals = []
        for p in files:
            rec_vals += k.read_record_values(p, header=False)
        written += len(rec_vals)
        start = k.find_run([t for _, t in exp], rec_vals)
        if start < 0:
            print("MISMATCH in %s stream" % kind)
            continue
        for i, arr in enumerate(arrivals[kind][: len(rec_vals)]):
            if arr is None:
                continue
            sent_ms = exp[start + i][0]
            delays.append(arr - sent_ms)
            if kind == "slow" or sent_ms > first_slow_ms:
                steady.append(arr - sent_ms)
                if arr - sent_ms > 250 and os.environ.get("SOAK_DEBUG"):
                    print("late %s sample sent %.0f ms after the first slow one: %.0f ms" %
                          (kind, sent_ms - first_slow_ms, arr - sent_ms))
        if kind == "slow":
            first_slow_ms = exp[start][0]
        # Lines sent up to the recorder's stop (less one tick still on the wire).
        sent_while = [ms for ms, _ in exp[start:] if ms <= stop_ms - 100]
        print("%s: value lines sent while armed %d, lines written %d" % (kind, len(sent_while), len(rec_vals)))

    hours = SECONDS / 3600
    print("duration: %d s" % SECONDS)
    print("value lines written: %d" % written)
    print("recorder CPU: %.2f %% of one core" % cpu)
    print("resident memory: start %d KiB, end %d KiB, growth %.0f KiB/hour" %
          (rss_start, rss_end, (rss_end - rss_start) / hours))
    if len(rss_samples) > 1:
        after_first = rss_samples[1:] + [rss_end]
        print("resident memory each minute (KiB): %s" % " ".join(str(v) for v in rss_samples + [rss_end]))
        print("after the first minute: min %d KiB, max %d KiB, spread %d KiB (goal: under 2048)" %
              (min(after_first), max(after_first), max(after_first) - min(after_first)))
    print("process start to first status query: %.0f ms" % startup_ms)
    if delays:
        print("sample delay wire->disk: median %.0f ms, max %.0f ms (max %.0f ms once the series' first slow "
              "sample has arrived)" % (statistics.median(delays), max(delays), max(steady)))
        ordered = sorted(steady)
        print("  99th percentile %.0f ms, 99.9th %.0f ms, %d of %d samples over 250 ms" %
              (ordered[int(len(ordered) * 0.99)], ordered[int(len(ordered) * 0.999)],
               sum(1 for d in steady if d > 250), len(steady)))
    home.cleanup()


if __name__ == "__main__":
    main()
