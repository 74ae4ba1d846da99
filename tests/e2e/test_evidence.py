#!/usr/bin/env python3
"""End-to-end tests of the evidence trail: side files, their chain, --verify and the calibration log."""

import hashlib
import json
import os
import re
import subprocess

import sys

sys.dont_write_bytecode = True  # nothing is written into the checkout
from kestro_e2e import RECORDER, check, file_lines, main, wait_for


def side_of(record):
    return json.load(open(record[:-len(".dat")] + "_INFO.json"))


def sha256(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def verify(home):
    r = subprocess.run([RECORDER, "--verify", home.records], env=home.env(), capture_output=True, text=True,
                       timeout=30)
    verdict = re.compile(r"^(OK|NOT CLOSED|CHANGED|MISSING) ")  # the file name from the 13th column
    return r.returncode, {l[12:].split(":")[0]: (verdict.match(l).group(1), l) for l in r.stdout.splitlines()
                          if verdict.match(l)}


def test_calibration_and_chain(run):
    """Calibration before and between two Lp series, details from the command line: the calibration
    log and the side files hold the simulator's readings, and --verify names an edited and a deleted
    record file. A series cut by kill -9 is NOT CLOSED with the hash of what is there, which is no
    failure, and the next run's series close normally."""
    home = run.home()
    sim = run.sim(home, "--function", "4", "--no-faults", "--cal-level", "94.0", "--cal-drift", "6", "--seed", "3")
    rec = run.recorder(home, "--record", "--site", "Yard 3", "--operator", "A. Tester", "--note", "north fence",
                       "--instrument", "class 1")
    log = os.path.join(home.records, "calibration.csv")

    def lp_lines(n_files):
        files = home.record_files("LP")
        return len(files) >= n_files and len(file_lines(files[-1])) >= 4

    wait_for(lambda: len(file_lines(log)) >= 4, 15, "readings in the calibration log")
    sim.turn_calibration()
    wait_for(lambda: lp_lines(1), 10, "an Lp series")
    first_stay = len(file_lines(log))
    sim.turn_calibration()
    wait_for(lambda: len(file_lines(log)) >= first_stay + 3, 10, "a second calibration")
    sim.turn_calibration()
    wait_for(lambda: lp_lines(2), 10, "a second Lp series")
    rec.stop_ok()

    sent = [line.split()[1] for _, line in sim.sent_lines() if line.startswith("cal ")]
    logged = [row.split(";") for row in file_lines(log)]
    check(logged[0] == ["Time", "Level", "SerialNumber", "Key"], "log header %r" % logged[0])
    check([r[1] for r in logged[1:]] == ["%d.%d" % (int(v) // 10, int(v) % 10) for v in sent],
          "logged %r, sent %r" % (logged[1:], sent))
    check(all(r[2:] == ["12345678", "cal"] for r in logged[1:]), "serial or key: %r" % logged[1:])

    lp1, lp2 = home.record_files("LP")[:2]
    side = side_of(lp1)
    check(side["state"] == "closed" and side["record_sha256"] == sha256(lp1), "not closed with its hash")
    check(side["meter"]["serial_number"] == "12345678" and side["meter"]["function"] == "Lp"
          and side["meter"]["range"] == "50 - 110 dB", "meter %r" % side["meter"])
    check(side["measurement"] == {"location": "Yard 3", "operator": "A. Tester", "weather": "",
                                  "notes": "north fence", "instrument": "class 1"}, "details %r" % side["measurement"])
    check(side["event_criteria"] == {"level_db": 80.0, "min_duration_s": 10, "hysteresis_db": 2.0}
          and side["utc_offset_at_start"] == side["start"][-6:], "criteria, offset %r" % side)
    check(side["record_lines"]["header_line"] and side["record_lines"]["decimal_separator"] == ",",
          "line settings %r" % side["record_lines"])
    before = [c["level_db"] for c in side["calibration_before"]]
    after = [c["level_db"] for c in side["calibration_after"]]
    first = [float(r[1]) for r in logged[1:first_stay]]
    check(before == first[-len(before):] and len(before) >= 3, "before %r, first check %r" % (before, first))
    check(after and min(after) > max(before), "after %r does not show the drift since %r" % (after, before))
    check(side_of(lp2)["calibration_before"][0]["level_db"] == after[0], "the next series' check before")

    rc, verdicts = verify(home)
    check(rc == 0 and all(v[0] == "OK" for v in verdicts.values()) and len(verdicts) >= 4,
          "verify %d: %r" % (rc, verdicts))
    rec = run.recorder(home, "--record")
    wait_for(lambda: lp_lines(3), 15, "the Lp series to cut")
    rec.proc.kill()
    rec.proc.wait()
    cut = home.record_files("LP")[2]
    rec = run.recorder(home, "--record")
    wait_for(lambda: lp_lines(4), 15, "the Lp series of the next run")
    rec.stop_ok()
    rc, verdicts = verify(home)
    word, line = verdicts.get(os.path.basename(cut), ("none", ""))
    check(rc == 0 and word == "NOT CLOSED" and verdicts[os.path.basename(home.record_files("LP")[3])][0] == "OK",
          "after a kill and a run: %d %r" % (rc, verdicts))
    check(("sha256 " + sha256(cut)) in line and ("now %d bytes" % os.path.getsize(cut)) in line, line)
    with open(lp1, "r+b") as f:
        f.seek(-4, os.SEEK_END)
        f.write(b"9")
    os.remove(lp2)
    rc, verdicts = verify(home)
    check(rc == 1, "verify exit status %d" % rc)
    for path, word in ((lp1, "CHANGED"), (lp2, "MISSING")):
        got = verdicts.get(os.path.basename(path), ("none", ""))
        check(got[0] == word, "%s: %s, expected %s" % (os.path.basename(path), got[1], word))


if __name__ == "__main__":
    main([test_calibration_and_chain])
