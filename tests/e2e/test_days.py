#!/usr/bin/env python3
"""End-to-end: the report of a recording made in Europe/Berlin, made on a computer in UTC."""

import datetime
import json
import os
import re
import shutil
import sys
import time

sys.dont_write_bytecode = True  # nothing is written into the checkout
from kestro_e2e import Skip, check, main, recorder_cmd, report_text, side_of, side_path, wait_for


def berlin_offset(utc):
    """Central European time: summer time from 01:00 UTC of March's last Sunday to October's."""
    def last_sunday(month):
        d = datetime.datetime(utc.year, month, 31 if month != 2 else 28, 1, tzinfo=datetime.timezone.utc)
        return d - datetime.timedelta(days=(d.weekday() + 1) % 7)
    return 2 if last_sunday(3) <= utc < last_sunday(10) else 1


def day_file(records, start_utc, hours):
    """A second's level at day 60, evening 55, night 45 dB, stamped with Berlin's clock."""
    lines, t = [], start_utc
    first = None
    while t < start_utc + datetime.timedelta(hours=hours):
        local = t + datetime.timedelta(hours=berlin_offset(t))
        first = first or local
        level = 60 if 7 <= local.hour < 19 else 55 if 19 <= local.hour < 23 else 45
        lines.append(b"%s; %d,0\r\n" % (local.strftime("%H:%M:%S,000").encode(), level))
        t += datetime.timedelta(seconds=1)
    path = os.path.join(records, first.strftime("NoiseData_LP_%Y%m%d_%H%M%S.dat"))
    with open(path, "wb") as f:
        f.write(b"Time;NoiseValue\r\n" + b"".join(lines))
    return path, first


def test_report_in_another_zone(run):
    if not shutil.which("pdftotext"):
        raise Skip("pdftotext is not installed")
    home = run.home()
    env = home.env(TZ="UTC")

    def report(*args):
        return report_text(home, *args, env=env)

    def has(txt, *wants):
        for want in wants:
            check(re.search(r"\s+".join(map(re.escape, want.split())), txt), "%r not in the report:\n%s" % (want, txt))

    # Daylight saving time ends: the assessment day of 24 October is 25 h long, its night 9 h.
    autumn, first = day_file(home.records, datetime.datetime(2026, 10, 24, 5, tzinfo=datetime.timezone.utc), 25)
    side = {"format": "KestroRecorder series 1", "state": "open", "record_file": os.path.basename(autumn),
            "start": first.strftime("%Y-%m-%dT%H:%M:%S.000+02:00"), "time_zone": "Europe/Berlin (UTC+02:00)"}
    with open(side_path(autumn), "w") as f:
        json.dump(side, f)  # as older versions wrote the zone
    # (12·10^6 + 4·10^5.5 + 9·10^4.5) / 25 and with +5 and +10 dB
    txt = report(autumn, "--interval", "3600")
    has(txt, "Time zone Europe/Berlin (UTC+02:00 at the start)", "2026-10-24 (25 h)", "58,8", "57,3",
        "Duration 25:00:00")
    # The repeated hour stays two rows, each of its own 3600 samples.
    for start, end in (("02:00:00 +02:00", "02:00:00 +01:00"), ("02:00:00 +01:00", "03:00:00")):
        has(txt, "2026-10-25 %s %s 3600" % (start, end))

    # Daylight saving time begins; no side file, the zone given.
    spring, _ = day_file(home.records, datetime.datetime(2026, 3, 28, 6, tzinfo=datetime.timezone.utc), 23)
    txt = report(spring, "--tz", "Europe/Berlin")
    has(txt, "Europe/Berlin; given with --tz", "2026-03-28 (23 h)", "59,0", "57,7")
    # Without it the days are this computer's, and the report says so.
    txt = report(spring)
    has(txt, "not given: days and period lengths as in this computer's zone, UTC")
    check("(23 h)" not in txt, "a UTC day of 23 h")
    r = recorder_cmd(home, "--report", spring, "--tz", "Mars/Olympus", env=env)
    check(r.returncode == 2 and "--tz" in r.stderr, "an unknown zone: %d %r" % (r.returncode, r.stderr))


def test_recorded_across_the_repeated_hour(run):
    """A recording in Berlin while its clock goes from 03:00 summer time back to 02:00, the report
    made in UTC: hourly intervals keep the two showings of the hour apart."""
    lib = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
    if not shutil.which("pdftotext") or not os.path.exists(lib):
        raise Skip("pdftotext or libfaketime is not installed")
    home = run.home()
    # 02:59:30 summer time, running on from there.
    target = datetime.datetime(2026, 10, 25, 0, 59, 30, tzinfo=datetime.timezone.utc).timestamp()
    env = home.env(TZ="Europe/Berlin", LD_PRELOAD=lib, FAKETIME="%+ds" % int(target - time.time()))
    run.recording(home, env=env)
    record = wait_for(lambda: [f for f in home.record_files("LP") if b"\n02:00:1" in open(f, "rb").read()], 120, "lines of 02:00 winter time")[0]
    side = side_of(record)
    check(side["time_zone"] == "Europe/Berlin" and side["utc_offset_at_start"] == "+02:00", "side file %r" % side)
    txt = report_text(home, record, "--interval", "3600", env=home.env(TZ="UTC"))
    rows = re.findall(r"^\s*2026-10-25\s+(02:\d\d:\d\d \+0\d:00)\s+(02:\d\d:\d\d \+0\d:00)\s+(\d+)", txt, re.M)
    check(len(rows) == 2 and rows[0][0].endswith("+02:00") and rows[0][1] == "02:00:00 +01:00"
          and rows[1][0] == "02:00:00 +01:00", "rows of the repeated hour: %r\n%s" % (rows, txt))


if __name__ == "__main__":
    main([test_report_in_another_zone, test_recorded_across_the_repeated_hour])
