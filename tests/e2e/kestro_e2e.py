"""Helpers for end-to-end tests: run the real recorder against the instrument
simulator on a pseudo-terminal, each test in its own temporary home."""

import json
import math
import os
import re
import signal
import struct
import subprocess
import sys
import tempfile
import time
import traceback

BIN = os.environ.get("KESTRO_BIN_DIR", "")
RECORDER = os.path.join(BIN, "KestroRecorder")
SIM = os.path.join(BIN, "kestro-sim")

DEVICE_SECTION = "SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\Device1"
RECORD_NAME = re.compile(r"^.+_(LP|LEQ|MAX|LPF|LEQF|RAW|UnknownType)_\d{8}_\d{6}(\.[^_]*)?$")
RECORDER_SECTION = "SOFTWARE\\ORVIA Messtechnik GmbH\\R270_Kestro\\KestroRecorder"


class Failure(AssertionError):
    pass


class Skip(Exception):
    """The test cannot run here; the runner exits with 77."""


def check(cond, what):
    if not cond:
        raise Failure(what)


def wait_for(pred, timeout, what, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        v = pred()
        if v:
            return v
        time.sleep(step)
    raise Failure("timed out waiting for " + what)


class Home:
    """A temporary config, runtime, log and record directory."""

    def __init__(self, header=True, overflow=False, underflow=False, recorder_values=None, under=None):
        self.tmp = tempfile.TemporaryDirectory(prefix="kestro-e2e-", dir=under)
        self.root = self.tmp.name
        self.config = os.path.join(self.root, "config")
        self.runtime = os.path.join(self.root, "runtime")
        self.logs = os.path.join(self.root, "logs")
        self.records = os.path.join(self.root, "records")
        self.link = os.path.join(self.root, "meter")
        self.store = os.path.join(self.config, "KestroRecorder", "registry.json")
        for d in (self.config, self.runtime, self.logs, self.records):
            os.makedirs(d, mode=0o700)
        values = {"RecordDirectory": self.records, "RecordNameBase": "NoiseData", "RecordFileExtension": ".dat",
                  "IncludeHeaderLine": int(header), "IncludeSystemTime": 1, "IncludeOverflow": int(overflow),
                  "IncludeUnderflow": int(underflow), "DecimalSeparator": 44, "TabularSeparator": 59}
        values.update(recorder_values or {})
        store = {DEVICE_SECTION: {"COMPort": {"type": 4, "value": 1}},
                 RECORDER_SECTION: {k: {"type": 4 if isinstance(v, int) else 1, "value": v} for k, v in values.items()}}
        os.makedirs(os.path.join(self.config, "KestroRecorder"))
        with open(self.store, "w") as f:
            json.dump(store, f)

    def env(self, **extra):
        e = dict(os.environ)
        e.update({
            "XDG_CONFIG_HOME": self.config,
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_DATA_HOME": os.path.join(self.root, "data"),
            "XDG_STATE_HOME": os.path.join(self.root, "state"),
            "LOGFILES": self.logs,
            "KESTRO_COM1": self.link,
            "QT_QPA_PLATFORM": "offscreen",
        })
        # Whatever the runner's locale: the program's own texts, and reports with the record files' decimal mark.
        for var in ("LC_ALL", "LC_MESSAGES", "LANGUAGE"):
            e.pop(var, None)
        e["LANG"] = "C.UTF-8"
        e.update(extra)
        return e

    def edit_store(self, change):
        with open(self.store) as f:
            doc = json.load(f)
        change(doc)
        with open(self.store, "w") as f:
            json.dump(doc, f)

    def log_lines(self):
        return file_lines(os.path.join(self.logs, "R270_Kestro.log"))

    def record_files(self, kind=None):
        # Statistics files, side files and the calibration log lie beside them.
        names = sorted(n for n in os.listdir(self.records) if RECORD_NAME.match(n))
        if kind:
            names = [n for n in names if n.split("_")[1] == kind]
        return [os.path.join(self.records, n) for n in names]

    def cleanup(self):
        if os.environ.get("KESTRO_E2E_KEEP"):  # the files of a run, to look at afterwards
            self.tmp._finalizer.detach()
            print("kept", self.root)
            return
        self.tmp.cleanup()


def read_stats(path):
    """The commands a simulator received and its count of sent lines per key."""
    lines = open(path).read().split("\n") if os.path.exists(path) else []
    return [l[4:] for l in lines if l.startswith("cmd ")], {
        key: int(n) for _, key, n in (l.split() for l in lines if l.startswith("sent "))}


class Sim:
    def __init__(self, home, *args, tag="sim"):
        self.home = home
        self.stats = os.path.join(home.root, tag + ".stats")
        self.sent = os.path.join(home.root, tag + ".sent")
        cmd = [SIM, "--link", home.link, "--stats", self.stats, "--sent-log", self.sent] + list(args)
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        # The simulator prints its terminal once it is ready; a link left by a killed
        # predecessor may still point elsewhere until then.
        self.slave = self.proc.stdout.readline().decode().strip()
        if self.proc.poll() is not None or not self.slave:
            raise Failure("simulator did not start: " + self.proc.stderr.read().decode())

        def published():
            try:
                return os.readlink(home.link) == self.slave
            except OSError:
                return False
        wait_for(published, 5, "the simulator's link")

    def snapshot(self):
        """Asks the running simulator for its stats and returns them."""
        before = os.path.getmtime(self.stats) if os.path.exists(self.stats) else 0
        self.proc.send_signal(signal.SIGUSR1)
        wait_for(lambda: os.path.exists(self.stats) and os.path.getmtime(self.stats) != before, 3, "stats file")
        time.sleep(0.05)
        return read_stats(self.stats)

    def commands(self):
        return self.snapshot()[0]

    def wait_commands(self, pred, timeout, what):
        return wait_for(lambda: pred(self.commands()), timeout, what, step=0.2)

    def wait_armed(self, what="recording to be armed"):
        self.wait_commands(lambda c: "awm 1" in c, 10, what)

    def sent_lines(self):
        """(ms, line) of every line the simulator has sent."""
        lines = open(self.sent).read().split("\n") if os.path.exists(self.sent) else []
        return [(int(ms), text) for ms, _, text in (l.partition(" ") for l in lines) if text]

    def turn_calibration(self):
        """The user turns the meter to Calibration, or back to the function before it."""
        self.proc.send_signal(signal.SIGUSR2)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        return read_stats(self.stats)

    def kill(self):
        """An unplug: the simulator dies without saying goodbye, and its node goes as an adapter's does (a
        dangling link could lead a recorder to a terminal that another test's simulator got since)."""
        self.proc.kill()
        self.proc.wait()
        try:
            if os.readlink(self.home.link) == self.slave:
                os.unlink(self.home.link)
        except OSError:
            pass


class Recorder:
    def __init__(self, home, *args, env=None, stderr=subprocess.PIPE):
        self.home = home
        self.started = time.time()
        self.proc = subprocess.Popen([RECORDER, "--headless"] + list(args), env=env or home.env(),
                                     stdout=subprocess.PIPE, stderr=stderr)

    def alive(self):
        return self.proc.poll() is None

    def terminate(self, timeout=10):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            out, err = self.proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, err = self.proc.communicate()
            raise Failure("recorder did not stop on SIGTERM")
        return self.proc.returncode, out.decode(errors="replace"), (err or b"").decode(errors="replace")

    def stop_ok(self):
        """SIGTERM, which must end it with status 0; its standard error."""
        rc, _, err = self.terminate()
        check(rc == 0, "exit status %d: %s" % (rc, err[-500:]))
        return err

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


class Run:
    """What one test starts: homes, simulators, recorders and other processes, ended and removed in
    reverse order however the test ends."""

    def __init__(self):
        self._undo = []

    def later(self, undo):
        self._undo.append(undo)

    def close(self):
        while self._undo:
            try:
                self._undo.pop()()
            except Exception:  # the test's own failure is the one to report
                traceback.print_exc()

    def home(self, **kw):
        home = Home(**kw)
        self.later(home.cleanup)
        return home

    def sim(self, home, *args, tag="sim"):
        sim = Sim(home, *args, tag=tag)
        self.later(sim.stop)
        return sim

    def recorder(self, home, *args, cls=None, **kw):
        rec = (cls or Recorder)(home, *args, **kw)
        self.later(rec.kill)
        return rec

    def recording(self, home, *rec_args, sim_args=(), **kw):
        """A simulator and a recorder with --record, once the recording is armed."""
        sim = self.sim(home, *sim_args)
        rec = self.recorder(home, "--record", *rec_args, **kw)
        sim.wait_armed()
        return sim, rec

    def process(self, cmd, **kw):
        proc = subprocess.Popen(cmd, **kw)

        def end():
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.later(end)
        return proc


def stop_in_order(sim, home):
    """The simulator's last commands (or those given) are the stop sequence and the log ends with the stop."""
    cmds = sim.stop()[0] if isinstance(sim, Sim) else sim
    check(cmds[-2:] == ["SMM 0", "LDK 0"], "last commands were %r" % cmds[-4:])
    lines = home.log_lines()
    check(lines and lines[-1].endswith(": Application stopped"), "last log line: %r" % (lines[-1:],))


def fast_text(kind, hex8):
    """The value column the recorder writes for a fast line, or None when it has no logarithm."""
    v = struct.unpack(">f", bytes.fromhex(hex8))[0]
    if not (v > 0) or math.isinf(v):
        return ""
    k = 2000 if kind == "r" else 1000
    x = round(k * math.log10(v))
    if x < -32768 or x > 32767:
        return ""
    sign = "-" if x < 0 else ""
    x = abs(x)
    return " %s%d,%02d" % (sign, x // 100, x % 100)


def slow_text(level):
    sign = "-" if level < 0 else ""
    a = abs(level)
    return " %s%d,%d" % (sign, a // 10, a % 10)


def expected_values(sent, keys):
    """Value texts of the sent value lines with one of the keys, in order."""
    out = []
    for ms, line in sent:
        parts = line.split()
        key = parts[0].lower()
        if key not in keys or len(parts) < 2:
            continue
        if key in ("p", "q", "r"):
            out.append((ms, fast_text(key, parts[1][:8])))
        elif parts[1].lower() != "err" and len(parts) >= 3:  # an error reading is shown, not recorded
            out.append((ms, slow_text(int(parts[1]))))
    return out


def file_lines(path):
    """The CRLF-ended lines of a file the recorder wrote (none while there is no file); a torn last line is left out."""
    try:
        with open(path, "rb") as f:
            return f.read().decode("latin-1").split("\r\n")[:-1]
    except FileNotFoundError:
        return []


def read_record_values(path, header=True):
    with open(path, "rb") as f:
        check(f.read().endswith(b"\r\n") or f.tell() == 0, path + " does not end with a whole line")
    lines = file_lines(path)
    if header:
        check(lines and lines[0] == "Time;NoiseValue", path + " header is " + repr(lines[:1]))
        lines = lines[1:]
    values = []
    for ln in lines:
        cols = ln.split(";")
        check(len(cols) == 2, "bad record line %r in %s" % (ln, path))
        values.append(cols[1])
    return values


def find_run(haystack, needle):
    """Index where needle stands as a contiguous run in haystack, or -1."""
    n = len(needle)
    return next((i for i in range(len(haystack) - n + 1) if haystack[i:i + n] == needle), -1)


def side_path(record):
    return record[:-len(".dat")] + "_INFO.json"


def side_of(record):
    with open(side_path(record)) as f:
        return json.load(f)


def recorder_cmd(home, *args, env=None, timeout=60):
    """The recorder run as a command (--verify, --report, ...) to its end; its output as text."""
    return subprocess.run([RECORDER, *args], env=env or home.env(), capture_output=True, text=True, timeout=timeout)


def report_text(home, record, *args, env=None, layout=True):
    """The text of record's --report; a report that fails fails the test."""
    out = os.path.join(home.root, "report.pdf")
    r = recorder_cmd(home, "--report", record, *args, "-o", out, env=env, timeout=120)
    check(r.returncode == 0, "report exit status %d: %r" % (r.returncode, r.stderr))
    return subprocess.run(["pdftotext"] + ["-layout"] * layout + [out, "-"], capture_output=True).stdout.decode()


def main(tests):
    name = sys.argv[1] if len(sys.argv) > 1 else None
    todo = [t for t in tests if name is None or t.__name__ == name]
    check(todo, "no such test " + str(name))
    failed = skipped = 0
    for t in todo:
        t0 = time.monotonic()
        run = Run()
        try:
            t(run)
            print("PASS %s (%.1f s)" % (t.__name__, time.monotonic() - t0))
        except Skip as e:
            skipped += 1
            print("SKIP %s: %s" % (t.__name__, e))
        except Exception as e:  # report every failure, then fail the run
            failed += 1
            print("FAIL %s: %s" % (t.__name__, e))
            traceback.print_exc()
        finally:
            run.close()
    sys.exit(1 if failed else 77 if skipped == len(todo) else 0)
