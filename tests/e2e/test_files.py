#!/usr/bin/env python3
"""End-to-end tests of the record files through a vanished record folder and at the program's end."""

import os
import re
import shutil
import sys
import time

sys.dont_write_bytecode = True  # nothing is written into the checkout
from kestro_e2e import (RECORDER_SECTION, RECORD_NAME, Skip, check, expected_values, file_lines, find_run, main,
                        read_record_values, report_text, side_of, side_path, wait_for)
from stat_check import stat_rows


def journal(err):
    return [l[len("KestroRecorder: "):] for l in err.splitlines() if l.startswith("KestroRecorder: ")]


def records_in(folder, kind):
    names = sorted(n for n in os.listdir(folder) if RECORD_NAME.match(n) and n.split("_")[1] == kind)
    return [os.path.join(folder, n) for n in names]


def test_default_folder_renamed_away(run):
    """In a home without ~/Documents the record folder is the data directory. Renamed away while recording, it
    is not made again (the spool lives in the state directory), the journal tells the failure once and its end
    once; when the user makes it again the files there start with their header and have side files naming the
    part before, and the two parts hold every value sent."""
    home = run.home()
    home.edit_store(lambda doc: doc[RECORDER_SECTION].pop("RecordDirectory"))
    user = os.path.join(home.root, "home")
    os.makedirs(user)
    env = home.env(HOME=user, XDG_STATE_HOME=os.path.join(home.root, "state"))
    folder = os.path.join(home.root, "data", "KestroRecorder")
    away = folder + ".away"
    sim, rec = run.recording(home, env=env)
    wait_for(lambda: os.path.isdir(folder) and records_in(folder, "LPF"), 10, "record files in " + folder)
    time.sleep(1.5)
    os.rename(folder, away)
    end = time.monotonic() + 4
    while time.monotonic() < end:
        check(not os.path.exists(folder), "the record folder was made again behind the user's back")
        time.sleep(0.05)
    os.mkdir(folder)
    wait_for(lambda: len(records_in(folder, "LP")) == 1 and len(records_in(folder, "LPF")) == 1 and
             all(os.path.exists(side_path(p)) for p in records_in(folder, "LP") + records_in(folder, "LPF")),
             20, "the files to begin again with their side files")
    time.sleep(1.5)
    stop_ms = int(time.time() * 1000)
    said = journal(rec.stop_ok())
    failed = [l for l in said if l.startswith("record files cannot be written")]
    mended = [l for l in said if l == "record files are written again"]
    check(len(failed) == 1 and len(mended) == 1 and said.index(failed[0]) < said.index(mended[0]),
          "the failure was not told throughout: %r" % said)
    check(not os.listdir(os.path.join(home.root, "state", "KestroRecorder", "spool")), "lines left in the spool")
    for kind, keys in (("LP", {"lp"}), ("LPF", {"p"})):
        before, after = records_in(away, kind), records_in(folder, kind)
        check(len(before) == 1 and [os.path.basename(p) for p in after] == [os.path.basename(before[0])],
              "%s files %r and %r" % (kind, before, after))
        first, second = read_record_values(before[0]), read_record_values(after[0])  # both with their header
        # Lines not yet synced when the folder went are in both parts; none is missing.
        overlap = next(k for k in range(min(len(first), len(second)), -1, -1) if first[len(first) - k:] == second[:k])
        values = first + second[overlap:]
        expected = expected_values(sim.sent_lines(), keys)
        texts = [t for _, t in expected]
        at = find_run(texts, values)
        check(at >= 0, "%s: the parts are not one run of the sent values" % kind)
        must = [i for i, (ms, _) in enumerate(expected) if i >= at and ms <= stop_ms - 300]
        check(at + len(values) > must[-1], "%s: %d values missing" % (kind, must[-1] + 1 - at - len(values)))
        side = side_of(after[0])
        check(side["state"] == "closed" and side["parts_before"] == [
            {"record_file": os.path.basename(before[0]), "side_file": os.path.basename(side_path(before[0]))}],
            "side file %r" % side)


def test_folder_renamed_away_and_back(run):
    """A folder renamed away and back: the lines not synced when it went stand once in the file, and --report
    finds the samples and levels of the live statistics file."""
    if not shutil.which("pdftotext"):
        raise Skip("pdftotext is not installed")
    home = run.home(recorder_values={"StatisticsInterval": 60})
    _, rec = run.recording(home, sim_args=("--no-faults", "--slow-ms", "250"))
    wait_for(lambda: home.record_files("LP"), 10, "a slow record file")
    time.sleep(2.5)
    os.rename(home.records, home.records + ".away")
    time.sleep(3)
    os.rename(home.records + ".away", home.records)
    time.sleep(2.5)
    rec.stop_ok()
    path = home.record_files("LP")[0]
    times = [l.split(";")[0] for l in file_lines(path)[1:]]
    check(len(times) == len(set(times)), "a line stands twice in %s" % path)
    env = home.env()
    for var in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(var, None)
    text = report_text(home, path, "--interval", "60", env=env)
    samples = int(re.search(r"^Samples\s+(\d+)$", text, re.M).group(1))
    summary = text[text.index("Summary of the whole recording"):].splitlines()
    laeq = summary[summary.index(next(l for l in summary if "LAeq" in l)) + 1].split()[0]
    series = [row for row in stat_rows(path) if row[0] == "Series"]
    check(series and (samples, laeq) == (int(series[0][3]), series[0][4]),
          "report: %d samples, LAeq %s; live statistics %r" % (samples, laeq, series))


def snapshot(*folders):
    out = {}
    for folder in folders:
        for base, _, names in os.walk(folder):
            for n in names:
                p = os.path.join(base, n)
                with open(p, "rb") as f:
                    out[p] = f.read()
    return out


def test_files_complete_at_exit(run):
    """With an event running at the stop, every file the program writes is complete the moment it has ended
    with status 0: nothing changes afterwards. KESTRO_E2E_EXIT_RUNS sets the number of runs (3)."""
    runs = int(os.environ.get("KESTRO_E2E_EXIT_RUNS", "3"))
    for n in range(runs):
        home = run.home(recorder_values={"EventLevel": 1000, "EventMinDuration": 1})
        state = os.path.join(home.root, "state")
        env = home.env(XDG_STATE_HOME=state)
        sim, rec = run.recording(home, env=env, sim_args=("--no-faults", "--seed", str(n), "--burst", "0:600:104"))
        lp = wait_for(lambda: home.record_files("LP"), 10, "a slow record file")[0]
        events = lp[:-4] + "_EVENTS.dat"
        time.sleep(2.5 + 0.37 * n)
        rec.proc.send_signal(15)
        status = rec.proc.wait(20)
        at_exit = snapshot(home.records, home.logs, state)
        check(status == 0, "run %d: exit status %d" % (n, status))
        rows = [r.split(";") for r in file_lines(events)]
        check([r for r in rows if r[0] == "Exceedance"], "run %d: no exceedance in %r" % (n, rows))
        time.sleep(1.5)
        later = snapshot(home.records, home.logs, state)
        changed = sorted(p for p in set(at_exit) | set(later) if at_exit.get(p) != later.get(p))
        check(not changed, "run %d: written after the exit: %r" % (n, changed))
        sim.stop()


if __name__ == "__main__":
    main([test_default_folder_renamed_away, test_folder_renamed_away_and_back, test_files_complete_at_exit])
