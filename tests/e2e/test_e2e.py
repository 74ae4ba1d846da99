#!/usr/bin/env python3
"""End-to-end tests: the real KestroRecorder binary, headless, against kestro-sim."""

import json
import os
import re
import signal
import subprocess
import time

import sys

sys.dont_write_bytecode = True  # nothing is written into the checkout
from kestro_e2e import (BIN, DEVICE_SECTION, RECORDER, RECORDER_SECTION, Skip, check, expected_values,
                        file_lines, find_run, main, read_record_values, read_stats, stop_in_order, wait_for)
from stat_check import check_stat_file, local_ms, read_record, stat_rows


def check_stream(files, sent, keys, until_ms, header=True, slack_ms=300):
    """The record files of one stream, in the order they were started, each hold a contiguous run of what the
    simulator sent, and together every value line from the first recorded one up to until_ms (less the last
    slack_ms, still on the wire)."""
    expected = expected_values(sent, keys)
    texts = [t for _, t in expected]
    recorded = []
    for f in files:
        recorded += read_record_values(f, header)
    check(recorded, "nothing recorded for %s" % (keys,))
    start = find_run(texts, recorded)
    check(start >= 0, "recorded %s values are not a run of the sent ones: %r... vs %r..." %
          (keys, recorded[:5], texts[:8]))
    must = [i for i, (ms, _) in enumerate(expected) if i >= start and ms <= until_ms - slack_ms]
    if must:
        check(start + len(recorded) > must[-1],
              "%d %s lines sent while recording, only %d recorded" % (len(must), keys, len(recorded)))
    return recorded


def test_command_line(run):
    home = run.home()
    # As over ssh without X forwarding: no display of any kind.
    env = home.env()
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(name, None)
    helps = set()
    for args in (["--help"], ["-h"], ["--version"], ["-v"], ["--record", "--help"], ["--report", "x", "--help"]):
        out = subprocess.run([RECORDER] + args, env=env, capture_output=True, timeout=20)
        check(out.returncode == 0 and out.stderr == b"", "%s: exit status %d, %r" % (args, out.returncode,
                                                                                     out.stderr[-300:]))
        text = out.stdout.decode()  # (what the help says is the command line's own test)
        version = "--version" in args or "-v" in args
        check(text.startswith("KestroRecorder 1.0.1") == version and ("--headless" in text) != version,
              "%s: %r" % (args, text[:200]))
        helps |= set() if version else {text}
    check(len(helps) == 1, "the report's help differs from the program's")
    # Refused starts: status 2 and what to do, nothing logged; a window without a display says it in one line.
    store, good = home.store, open(home.store, "rb").read()
    no_port = home.env(KESTRO_COM1=home.root)
    for args, run_env, breaks, said in (
            ([], env, None, "--headless"), (["--headles"], env, None, "unknown option --headles"),
            # A wrong line is refused alike in every command (the window's, the report's, the check's).
            (["--report", "x", "--headles"], env, None, "unknown option --headles"),
            (["--report", "x", "--interval", "7"], env, None, "--interval must be 10, 30"),
            (["--verify", home.root, "--headles"], env, None, "unknown option --headles"),
            (["--print-public-key", "x"], env, None, "unexpected argument x"),
            (["--headless"], no_port, None, "is not availiable!"),  # a port that is no terminal
            (["--headless"], home.env(), lambda: open(store, "wb").write(good[:len(good) // 2]), store),
            (["--headless"], home.env(), lambda: (os.remove(store), os.mkdir(store)), store)):
        if breaks:
            breaks()
            said += " cannot be used"
        out = subprocess.run([RECORDER] + args, env=run_env, capture_output=True, timeout=20)
        err = out.stderr.decode()
        usage = run_env is env and args != []
        check(out.returncode == 2 and said in err and "no serial port" not in err and err.count("\n") == 1 and
              err.startswith("KestroRecorder: ") and err.endswith("; try 'KestroRecorder --help' for the options\n")
              == usage, "%s: exit status %d, %r" % (args, out.returncode, err))
        check("--headless" in args or not home.log_lines(), "a refused start logged %r" % home.log_lines())


def test_places(run):
    """--port and --record-dir hold for one run and leave the settings file alone; by default the record files
    go to ~/Documents/KestroRecorder and the log to a private state directory, nothing beside the executable."""
    home = run.home()
    home.edit_store(lambda doc: (doc.pop(DEVICE_SECTION), doc[RECORDER_SECTION].pop("RecordDirectory")))
    with open(home.store, "rb") as f:
        before = f.read()
    user, bin_before = os.path.join(home.root, "home"), sorted(os.listdir(BIN))
    os.makedirs(os.path.join(user, "Documents"))
    env = home.env(HOME=user, XDG_STATE_HOME=os.path.join(home.root, "state"),
                   KESTRO_COM1=os.path.join(home.root, "elsewhere"))  # --port comes first
    for name in ("LOGFILES", "XDG_DATA_HOME"):
        env.pop(name)
    default = os.path.join(user, "Documents", "KestroRecorder")
    run_records = os.path.join(home.root, "run-records")
    for args, records in ((["--record-dir", run_records], run_records), ([], default)):
        _, rec = run.recording(home, "--port", home.link, *args, env=env)
        wait_for(lambda: os.path.isdir(records) and os.listdir(records), 10, "record files in " + records)
        rec.stop_ok()
        check(os.path.isdir(default) == (records == default), "an unused default record directory was made")
    with open(home.store, "rb") as f:
        check(f.read() == before, "the settings file changed")
    log = os.path.join(home.root, "state", "KestroRecorder", "R270_Kestro.log")
    with open(log, "rb") as f:
        check(f.read().endswith(b": Application stopped\r\n"), "log in the state directory")
    check(oct(os.stat(os.path.dirname(log)).st_mode & 0o777) == "0o700", "state directory is not private")
    check(sorted(os.listdir(BIN)) == bin_before, "written next to the executable: %r" %
          sorted(set(os.listdir(BIN)) - set(bin_before)))
    check(not os.path.exists(os.path.join(user, ".local", "share", "KestroRecorder", "KestroRecorder")),
          "doubled folder")


def test_readme_settings_example(run):
    """The settings file the README shows for a station set up by hand works as it says."""
    readme = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
    with open(readme) as f:
        example = re.search(r"```json\n(.*?)```", f.read(), re.S).group(1)
    home = run.home()

    store = json.loads(example)
    store[DEVICE_SECTION]["COM1Device"]["value"] = home.link
    store[RECORDER_SECTION]["RecordDirectory"]["value"] = home.records
    home.edit_store(lambda doc: (doc.clear(), doc.update(store)))
    env = home.env()
    env.pop("KESTRO_COM1")  # the file alone names the device
    run.sim(home)
    rec = run.recorder(home, "--record", env=env)
    wait_for(lambda: [p for p in home.record_files() if "_LP_" in p], 10, "a slow record file")
    time.sleep(1.5)
    rec.stop_ok()
    path = [p for p in home.record_files() if "_LP_" in p][0]
    check(os.path.basename(path).startswith("Station7_LP_"), "file name %s" % path)
    lines = file_lines(path)
    check(lines[0] == "Time\tNoiseValue", "header %r" % lines[0])
    check(re.match(r"^\d\d:\d\d:\d\d\.\d{3}\t ?-?\d+\.\d$", lines[1]), "record line %r" % lines[1])


def test_demo_interrupted_from_the_terminal(run):
    home = run.home()
    stats = os.path.join(home.root, "demo-sim.stats")
    env = home.env(KESTRO_SIM_ARGS="--stats " + stats)
    env.pop("KESTRO_COM1")
    # A terminal sends Ctrl+C to its whole foreground process group.
    proc = run.process([RECORDER, "--demo", "--headless", "--record"], env=env, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, start_new_session=True)
    run.later(lambda: proc.poll() is None and os.killpg(proc.pid, signal.SIGKILL))
    wait_for(lambda: len(home.record_files()) >= 2, 15, "demo record files")  # the user's directory
    time.sleep(1)
    os.killpg(proc.pid, signal.SIGINT)
    _, err = proc.communicate(timeout=15)
    check(proc.returncode == 0, "exit status %d: %r" % (proc.returncode, err[-300:]))
    check(len(home.log_lines()) == 1, "log: %r" % home.log_lines())
    wait_for(lambda: os.path.exists(stats), 5, "the simulator's stats")
    stop_in_order(read_stats(stats)[0], home)
    check(subprocess.run(["pgrep", "-f", stats]).returncode == 1, "the simulator outlived the program")


def test_recording(run):
    """A meter whose answers come split, in upper case and amid noise loses no line; the service maps no
    graphics library (the windows are a module of their own), and a closed terminal (SIGHUP) ends it in order."""
    home, seconds = run.home(), 20
    sim, rec = run.recording(home, sim_args=["--split", "--upper", "--garbage"])
    with open("/proc/%d/maps" % rec.proc.pid) as f:
        mapped = [l.split()[-1] for l in f if "libQt6Gui" in l or "libQt6Widgets" in l or "kestro-desktop" in l]
    check(not mapped, "headless maps %s" % sorted(set(mapped)))
    time.sleep(seconds)
    stop_ms = int(time.time() * 1000)
    rec.proc.send_signal(signal.SIGHUP)  # the terminal closed, the ssh connection dropped
    rec.proc.wait(10)
    rec.stop_ok()
    stop_in_order(sim, home)
    kinds = {os.path.basename(p).split("_")[1] for p in home.record_files()}
    check(kinds == {"LP", "LPF"}, "record files: %r" % home.record_files())
    slow = check_stream(home.record_files("LP"), sim.sent_lines(), {"lp"}, stop_ms)
    fast = check_stream(home.record_files("LPF"), sim.sent_lines(), {"p"}, stop_ms)
    check(len(slow) >= seconds - 2, "only %d slow samples in %d s" % (len(slow), seconds))
    check(len(fast) >= 4 * seconds, "only %d fast samples in %d s" % (len(fast), seconds))
    errors = [l for l in home.log_lines() if "Error" in l]
    check(not errors, "errors logged: %r" % errors[:3])


def test_service_tells_its_journal(run):
    """Headless, standard error is the service's journal: one line at the start, when the record
    directory fails and recovers and when the port goes and comes back (not one per tick), and at the stop,
    each with its priority. A second instance is refused, logged, and leaves the first one running."""
    home = run.home()
    journal = open(os.path.join(home.root, "journal"), "wb")  # as the journal's stream
    stream = os.fstat(journal.fileno())
    sim, rec = run.recording(home, env=home.env(JOURNAL_STREAM="%d:%d" % (stream.st_dev, stream.st_ino)),
                             stderr=journal)
    second = run.recorder(home)
    check(second.proc.wait(10) == 1 and "You can start the Measurement viewer only one time!" in
          second.proc.stderr.read().decode(), "second instance: exit status %d" % second.proc.returncode)
    check([l for l in home.log_lines() if l.endswith(": FormLoad.Error: Application started as second instance - "
                                                     "Application stopped")], "refusal: %r" % home.log_lines())
    os.rename(home.records, home.records + ".away")
    time.sleep(3)
    os.rename(home.records + ".away", home.records)
    time.sleep(2.5)
    sim.kill()
    time.sleep(1)
    run.sim(home, tag="sim2").wait_armed("recording to resume")
    rec.stop_ok()
    err = open(journal.name).read()
    expected = ["<6>version 1.0.1 started on COM1 (%s), record directory %s" % (home.link, home.records),
                "<3>record files cannot be written: ", "<6>record files are written again",
                "<4>COM1 (%s) lost: " % home.link, "<6>COM1 (%s) is back" % home.link, "<6>stopped"]
    lines = [l[:3] + l[3 + len("KestroRecorder: "):] for l in err.splitlines() if l[3:].startswith("KestroRecorder: ")]
    check(len(lines) == len(expected) and all(l.startswith(e) for l, e in zip(lines, expected)),
          "standard error: %r" % err)


def test_start_without_adapter(run):
    """A service started before its adapter is plugged in waits for it and records once it is there. A
    JOURNAL_STREAM it inherited names another stream: no priorities."""
    home = run.home()
    elsewhere = os.stat(home.store)
    rec = run.recorder(home, "--record", env=home.env(JOURNAL_STREAM="%d:%d" % (elsewhere.st_dev, elsewhere.st_ino)))
    time.sleep(2)
    check(rec.alive(), "ended without its adapter")
    run.sim(home).wait_armed()
    wait_for(lambda: home.record_files("LP"), 20, "a record file")
    err = rec.stop_ok()
    expected = ["version 1.0.1 started on COM1 (%s)" % home.link, "COM1 (%s) is not there; waiting for it" % home.link,
                "COM1 (%s) is there" % home.link, "stopped"]
    lines = err.splitlines()
    check(len(lines) == len(expected) and all(l.startswith("KestroRecorder: " + e) for l, e in zip(lines, expected)),
          "standard error: %r" % err)


def test_loud_burst_is_a_noise_event(run):
    """A scripted burst of 104 dB for 14 s with the event level at 100 dB: one exceedance in the
    events file beside the LP record file, with its context, and --on-event run at its start and its
    end with the event's fields; the command's failure at the end is in the journal."""
    home = run.home(recorder_values={"EventLevel": 1000})
    told = os.path.join(home.root, "told")
    script = os.path.join(home.root, "on-event")
    with open(script, "w") as f:
        f.write('#!/bin/sh\necho "$KESTRO_EVENT_PHASE $KESTRO_EVENT_DURATION_S $KESTRO_EVENT_LMAX_DB '
                '$KESTRO_EVENT_STREAM $KESTRO_EVENT_SERIAL" >>"$1"\n[ "$KESTRO_EVENT_PHASE" = start ]\n')
    os.chmod(script, 0o700)
    sim, rec = run.recording(home, "--on-event", "%s %s" % (script, told),
                             sim_args=("--no-faults", "--seed", "5", "--burst", "14:14:104"))

    def phases():
        return [line.split() for line in open(told)] if os.path.exists(told) else []
    wait_for(lambda: len(phases()) >= 2, 45, "the command at the start and the end of the burst")
    time.sleep(11)  # the ten seconds after it
    err = rec.stop_ok()
    stop_in_order(sim, home)
    start, end = phases()
    check(start[0] == "start" and end[0] == "end" and start[3:] == end[3:] == ["LP", "12345678"],
          "the command was told %r" % phases())
    check(13.0 <= float(end[1]) <= 15.0 and 103.0 <= float(end[2]) <= 105.0, "the event ended as %r" % end)
    check("--on-event %s ended with status 1" % script in err, "journal: %r" % err)
    lp = home.record_files("LP")
    check(len(lp) == 1, "LP files: %r" % lp)
    rows = [r.split(";") for r in file_lines(lp[0][:-len(".dat")] + "_EVENTS.dat")]
    check(rows[0][:4] == ["Kind", "Start", "End", "Duration"], "header %r" % rows[0])
    check(rows[1][0] == "Criteria" and rows[1][5] == "100,0", "criteria %r" % rows[1])
    events = [r for r in rows[2:] if r[0] != "Sample"]
    check(len(events) == 1 and events[0][0] == "Exceedance" and events[0][8] == "closed", "events %r" % events)
    check(events[0][3] == end[1].replace(".", ",") and events[0][5] == end[2].replace(".", ","),
          "the file says %r, the command was told %r" % (events[0], end))
    context = [r[8] for r in rows[1:] if r[0] == "Sample"]
    check(9 <= context.count("before") <= 11 and 9 <= context.count("after") <= 11, "context %r" % context)


def test_pipe_at_the_lock_name(run):
    """A named pipe at the port's lock name (in /tmp, where locks are read too) is said once; the port opens and
    records, and SIGTERM ends the run with the stop sequence."""
    home = run.home()
    sim = run.sim(home)
    lock = "/tmp/LCK.." + os.path.realpath(home.link)[5:].replace("/", "_")
    os.mkfifo(lock)
    run.later(lambda: os.remove(lock))
    rec = run.recorder(home, "--record")
    sim.wait_armed()
    said = "lock file %s is not a lock file (a named pipe); ignored" % lock
    check(rec.stop_ok().count(said) == 1 and [l for l in home.log_lines() if l.endswith(said)], "not said once")
    stop_in_order(sim, home)


def test_replug_cycles_keep_order(run):
    """Several unplug/replug cycles with fast values streaming at the line rate, one meter falling
    silent first (the recorder goes offline): the meter is found again within 2 s each time, every
    file holds a contiguous run of what one simulator sent, in order, its time column never goes
    back, and nothing the first simulator sent before its unplug went missing."""
    home = run.home(header=False)
    sims = [run.sim(home, "--line-rate", tag="sim0")]
    rec = run.recorder(home, "--record")
    sims[0].wait_armed()
    time.sleep(3)
    unplug_ms = int(time.time() * 1000)

    def went_offline(c):  # offline, the recorder asks for the serial number again
        return c[len(c) - 1 - c[::-1].index("awm 1"):].count("gsn") >= 3
    for cycle in range(1, 6):
        sims[-1].kill()
        time.sleep(0.3)
        back = time.monotonic()
        silent = ["--silent-after", "4"] if cycle == 1 else []
        sims.append(run.sim(home, "--line-rate", *silent, tag="sim%d" % cycle))
        sims[-1].wait_commands(lambda c: len(c) > 0, 5, "the first command after the replug")
        took = time.monotonic() - back
        check(took <= 2.0, "reconnect %d took %.2f s" % (cycle, took))
        sims[-1].wait_armed("recording to resume")
        if silent:
            sims[-1].wait_commands(went_offline, 15, "the recorder to notice the silence")
        time.sleep(0.5 + 0.3 * (cycle % 3))
    rec.stop_ok()
    stop_in_order(sims[-1], home)
    check(len(home.record_files("LPF")) >= 5, "fast files: %r" % home.record_files("LPF"))
    for kind, keys in (("LPF", {"p"}), ("LP", {"lp"})):
        check_stream(home.record_files(kind)[:1], sims[0].sent_lines(), keys, unplug_ms, header=False)
        runs = [[t for _, t in expected_values(s.sent_lines(), keys)] for s in sims]

        def senders(path):  # a few slow levels may also occur in another meter's run
            values = read_record_values(path, header=False)
            return [i for i, r in enumerate(runs) if find_run(r, values) >= 0]
        silent = [p for p in home.record_files(kind) if senders(p) == [1]]
        check_stream(silent, sims[1].sent_lines(), keys, time.time() * 1000, header=False)  # whole before the silence
        for path in home.record_files(kind):
            check(senders(path), "%s is not a run of what one simulator sent" % os.path.basename(path))
            times = [line.split(";")[0] for line in file_lines(path)]
            back = [(a, b) for a, b in zip(times, times[1:]) if b < a]
            check(not back, "%s: time goes back %r" % (os.path.basename(path), back[:3]))


def test_replug_bursts_lose_no_fast_value(run):
    """Unplug and replug cycles at 20 fast values a second, every other unplug shortly after a burst of
    30 fast values sent at once: every fast value a meter sent at least 0.3 s before its unplug is on disk
    exactly once, in order. KESTRO_E2E_REPLUG_CYCLES sets the number of cycles (a few by default)."""
    import random
    cycles = int(os.environ.get("KESTRO_E2E_REPLUG_CYCLES", "4"))
    home = run.home(header=False)
    rng = random.Random()
    sims, ends = [], []
    rec = None
    for cycle in range(cycles):
        cmds = os.path.join(home.root, "sim%d.cmds" % cycle)
        sims.append(run.sim(home, "--fast-ms", "50", "--no-faults", "--cmd-log", cmds, tag="sim%d" % cycle))
        if rec is None:
            rec = run.recorder(home, "--record")
        sims[-1].wait_armed("recording to be armed in cycle %d" % cycle)
        time.sleep(rng.uniform(0.0, 1.5))  # the burst often comes before the first slow level
        if cycle % 2:
            sims[-1].proc.send_signal(signal.SIGRTMIN)
            time.sleep(rng.uniform(0.3, 0.6))
        ends.append(time.time() * 1000)
        if cycle < cycles - 1:
            sims[-1].kill()
            time.sleep(0.3)
    rec.stop_ok()
    # Every arming has files of its own: a file is a run of one meter's values, the files in its order.
    files = [read_record_values(path, header=False) for path in home.record_files("LPF")]
    f = 0
    for cycle, (sim, end_ms) in enumerate(zip(sims, ends)):
        sent = expected_values(sim.sent_lines(), {"p"})
        texts = [t for _, t in sent]
        with open(os.path.join(home.root, "sim%d.cmds" % cycle)) as cmd_log:
            cmds = [(int(ms), c) for ms, _, c in (line.partition(" ") for line in cmd_log.read().split("\n")) if c]
        armed = [ms for ms, c in cmds if c == "awm 1"]
        # A meter that fell silent for half a second (a starved simulator) is lost and started afresh: what it
        # sends until the recorder has armed it again is not recorded.
        again = any(c == "gsn" and ms > armed[0] for ms, c in cmds)
        since = (armed[-1] if len(armed) > 1 else float("inf")) if again else 0
        i, covered = 0, set()

        def runs(j, values):  # a run from texts[j]; the last value may be one the meter wrote as it was killed
            return texts[j:j + len(values)] == values or j + len(values) - 1 == len(texts) and texts[j:] == values[:-1]
        while f < len(files):
            run_at = [j for j in range(i, len(texts) if again else i + 1) if runs(j, files[f])]
            if not run_at:
                break
            covered.update(range(run_at[0], run_at[0] + len(files[f])))
            i = run_at[0] + len(files[f])
            f += 1
        missing = [k for k, (ms, _) in enumerate(sent) if since < ms <= end_ms - 300 and k not in covered]
        # On a shared machine another test's recorder may take a terminal its dangling link leads to: the
        # recorder then never had this meter (fewer losses in its log than unplugs).
        check(not missing, "cycle %d: %d fast values sent before the unplug are not on disk; the first, %r, was "
              "sent %d ms before it (%d of %d unplugs logged)" %
              (cycle, len(missing), sent[missing[0]][1] if missing else None,
               end_ms - sent[missing[0]][0] if missing else 0,
               sum("PortGone" in line for line in home.log_lines()), cycles - 1))
    check(f == len(files), "%d fast record files hold no run of what a meter sent in that order: %r" %
          (len(files) - f, files[f][:5] if f < len(files) else None))


def write_lines(path, lines, header=b"Time;NoiseValue;Overflow;Underflow\r\n"):
    with open(path, "wb") as f:
        f.write(header + b"".join(lines))


def test_report_command(run):
    """--report without any display: a PDF whose text holds the measurement report's items, or a
    reason and the documented exit status."""
    import datetime
    import resource
    import shutil
    if not shutil.which("pdftotext"):
        raise Skip("pdftotext is not installed")
    home = run.home()
    env = home.env(TZ="Europe/Berlin")
    for var in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(var, None)
    out_pdf = os.path.join(home.root, "out.pdf")

    def report(*args, **kw):
        return subprocess.run([RECORDER, "--report"] + list(args), env=env, capture_output=True, timeout=60, **kw)

    def text(*args):
        r = report(*(list(args) + ["-o", out_pdf]))
        check(r.returncode == 0, "report exit status %d: %r" % (r.returncode, r.stderr))
        txt = subprocess.run(["pdftotext", "-layout", out_pdf, "-"], capture_output=True).stdout.decode()
        return txt.replace("\ufb01", "fi").replace("\ufb02", "fl"), r  # the font's ligatures

    # A day of one-second levels from 07:00 while daylight saving time begins: 23 hours.
    day = os.path.join(home.records, "NoiseData_LP_20260328_070000.dat")
    t, lines = datetime.datetime(2026, 3, 28, 7), []
    while t < datetime.datetime(2026, 3, 29, 7):
        if not (t.day == 29 and t.hour == 2):
            lines.append(b"%s; %d,%d; %d; 0\r\n" % (t.strftime("%H:%M:%S,000").encode(), 55 + t.hour % 10,
                                                       t.second % 10, t.minute == 0 and t.second == 0))
        t += datetime.timedelta(seconds=1)
    write_lines(day, lines)
    txt, _ = text(day, "--interval", "60", "--limit", "60")
    for want in ("Duration 23:00:00", "Page 1 of 2", "Page 2 of 2", "Meter serial number not known",
                 "Location not given", "File verification MISSING: no side file", "LAeq, LAmax, LAmin, LA5, LA10",
                 "2026-03-28 (23 h)", "Ln 23–07", "Clock hours", "out_intervals.csv", "No calibration check"):
        check(re.search(r"\s+".join(map(re.escape, want.split())), txt), "%r not in the report:\n%s" % (want, txt))
    rows = [ln for ln in txt.splitlines() if re.match(r"\s*2026-03-28\s+08:00:00\s+09:00:00", ln)]
    check(len(rows) == 1 and rows[0].rstrip().endswith("O>"), "the hour 08:00: %r" % rows)
    with open(os.path.join(home.root, "out_intervals.csv")) as f:
        check(len(f.readlines()) == 23 * 60 + 1, "interval CSV")
    # The report's language is its own: words and decimal mark; file names and the verdict stay.
    for lang, wants, mark in (
            ("de", ("Dauer 23:00:00", "Seite 1 von 2", "Seriennummer des Messgeräts nicht bekannt",
                    "Dateiprüfung MISSING: no side file", "Grenzwert 60,0 dBA (LAeq je Intervall)", "Stunden der Uhr",
                    "steht in out_intervals.csv neben diesem Bericht", "Beurteilungstag", "Übst. Unst. Kennz."), ","),
            ("en", ("Duration 23:00:00", "Page 1 of 2", "Limit 60.0 dBA (LAeq per interval)", "Clock hours"), ".")):
        txt, _ = text(day, "--interval", "60", "--limit", "60", "--report-lang", lang)
        for want in wants:
            check(re.search(r"\s+".join(map(re.escape, want.split())), txt), "%r not in the %s report:\n%s" % (want, lang, txt))
        levels = re.findall(r"\b\d\d[.,]\d\b", txt)
        check(levels and all(v[2] == mark for v in levels), "%s report's levels: %r" % (lang, levels[:20]))

    # A running Leq across midnight, its last line torn: only an LAeq.
    leq = os.path.join(home.records, "NoiseData_LEQ_20260305_235000.dat")
    write_lines(leq, [b"%02d:%02d:%02d,000; 60,%d; 0; 0\r\n" % ((23 * 3600 + 50 * 60 + i) % 86400 // 3600,
                                                                 (50 + i // 60) % 60, i % 60, i % 10)
                      for i in range(1800)] + [b"00:20:0"])
    txt, r = text(leq, "--interval", "300")
    check(b"incomplete" in r.stderr, "no notice of the torn line: %r" % r.stderr)
    check("integrated by the meter" in txt and "LA90" not in txt, txt)
    # One flag column and no header: assumed, or as given.
    flags = os.path.join(home.records, "NoiseData_LP_20260305_120000.dat")
    write_lines(flags, [b"12:00:0%d,000; 65,3; 1\r\n" % i for i in range(5)], header=b"")
    for args, said in (([], "read as overflow (assumed)"), (["--flag-column", "underflow"],
                                                            "read as underflow (as given)")):
        txt, _ = text(flags, *args)
        check(re.search(r"\s+".join(map(re.escape, said.split())), txt), "%r not in %s" % (said, txt))

    # Beside the record file by default.
    r = report(leq)
    check(r.returncode == 0 and os.path.exists(leq[:-4] + ".pdf"), "default output: %r" % r.stderr)
    # The record file itself under any name (also the default output as a link to it), a device, a pipe
    # without a writer (at once, not hanging), a file without record lines, a broken line (file and line named).
    measurement = open(leq, "rb").read()
    hard, fifo, empty, bad = (os.path.join(home.root, n) for n in (
        "hard.dat", "fifo", "empty_LP_20260305_120000.dat", "bad_LP_20260305_130000.dat"))
    os.link(leq, hard)
    os.mkfifo(fifo)
    open(empty, "wb").write(b"Time;NoiseValue\r\n")
    open(bad, "wb").write(b"13:00:00,000; 65,3\r\n13:00:01,000; 65;3\r\n")
    os.replace(leq[:-4] + ".pdf", out_pdf)
    os.symlink(leq, leq[:-4] + ".pdf")
    name = os.path.basename(leq)
    for args, status, *said in (
            ([leq, "--interval", "120"], 2), ([leq, "--limit", "loud"], 2), ([leq, "--flag-column", "both"], 2),
            ([leq, "-o", os.path.join(home.root, "no", "such", "dir", "x.pdf")], 3), ([leq, "-o", leq], 1),
            ([leq, "-o", hard], 1), ([leq], 1), (["./" + name, "-o", name], 1), ([leq, "-o", "/dev/full"], 3),
            (["missing_LP_20260305_120000.dat"], 2), ([fifo], 2), (["/dev/zero"], 2),
            ([empty], 2, b"no record lines"), ([bad], 2, (bad + ", line 2").encode())):
        r = report(*args, cwd=home.records)
        check(r.returncode == status and all(w in r.stderr for w in said),
              "%r: exit status %d, expected %d: %r" % (args, r.returncode, status, r.stderr))
    check(open(leq, "rb").read() == measurement, "the record file was changed")
    # A report that cannot be written whole (past the file size limit; /dev/full above is a full disk) leaves
    # the earlier one and no temporary file.
    def limited():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (8000, 8000))
    target = os.path.join(home.root, "old.pdf")
    open(target, "wb").write(b"old")
    r = report(leq, "-o", target, preexec_fn=limited)
    check(r.returncode == 3 and open(target, "rb").read() == b"old", "%d %r: the earlier report" % (r.returncode,
                                                                                                 r.stderr))
    check(not [n for n in os.listdir(home.root) if n.startswith(".")], "temporary file left")


def test_statistics_agree(run):
    """Three meters hear one sound (one seed, one epoch) in Lp, LEQ and MAX-Hold. The interval
    Leq from the running Leq agrees with the Lp stream's, the running maximum equals the Lp
    stream's highest level since the MAX series began, and the Lp statistics files hold what an
    independent computation from their record files gives."""
    epoch = (int(time.time()) - 2) * 1000 + 125  # readings 125 ms off the whole seconds
    homes, recs = {}, {}
    for function, name in ((1, "LP"), (3, "MAX"), (2, "LEQ")):
        home = homes[name] = run.home(overflow=True, underflow=True,
                                      recorder_values={"StatisticsInterval": 30, "LimitLevel": 600})
        run.sim(home, "--seed", "11", "--epoch-ms", str(epoch), "--slow-ms", "250", "--no-faults", "--function",
                str(function), tag=name)
        recs[name] = run.recorder(home, "--record")
        wait_for(lambda: home.record_files(name), 15, name + " record file")
    time.sleep((int(time.time()) // 30 + 3) * 30 + 1 - time.time())  # two whole intervals
    for rec in recs.values():
        rec.stop_ok()

    for r in homes["LP"].record_files():
        problems = check_stat_file(r, 30, 600)
        check(not problems, "%s: %s" % (os.path.basename(r), "; ".join(problems[:5])))
    lp_file = homes["LP"].record_files("LP")[0]
    lp_rows = {(row[1], row[2]): row for row in stat_rows(lp_file)}
    compared = 0
    for row in stat_rows(homes["LEQ"].record_files("LEQ")[0])[1:-2]:
        check(row[5:12] == ["-"] * 7, "a running Leq gives only its Leq: %r" % row)
        if row[4] == "-":
            continue  # beyond the resolution of the readings
        lp_leq = float(lp_rows[(row[1], row[2])][4].replace(",", "."))
        check(abs(float(row[4].replace(",", ".")) - lp_leq) <= 0.3, "LEQ %r, LP Leq %.1f" % (row, lp_leq))
        compared += 1
    check(compared >= 1, "no interval Leq of the running Leq to compare")
    lp = read_record(lp_file)
    max_file = homes["MAX"].record_files("MAX")[0]
    first = read_record(max_file)[0][0]
    rows = [row for row in stat_rows(max_file) if row[0] == "Interval"]
    check(len(rows) >= 3, "%d MAX intervals" % len(rows))
    for row in rows[:-1]:
        highest = max(h for t, h, _, _ in lp if first - 125 <= t < local_ms(row[2]))
        check(row[4] == "-" and abs(float(row[5].replace(",", ".")) - highest / 100) <= 0.1,
              "MAX %r, highest Lp level %.1f" % (row, highest / 100))


if __name__ == "__main__":
    main([test_command_line, test_recording,
          test_report_command, test_statistics_agree,
          test_replug_cycles_keep_order, test_replug_bursts_lose_no_fast_value, test_places, test_readme_settings_example,
          test_demo_interrupted_from_the_terminal,
          test_service_tells_its_journal, test_start_without_adapter, test_loud_burst_is_a_noise_event, test_pipe_at_the_lock_name])
