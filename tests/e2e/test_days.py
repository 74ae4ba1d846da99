#!/usr/bin/env python3
"""End-to-end: the report of a recording made in Europe/Berlin, made on a computer in UTC."""

import datetime
import glob
import json
import math
import os
import re
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing is written into the checkout
from kestro_e2e import Skip, check, file_lines, main, recorder_cmd, report_text, side_of, side_path, wait_for

FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


def energy_mean(levels):
    return 10 * math.log10(sum(10 ** (l / 10) for l in levels) / len(levels))


def day_row(txt, date):
    """The cells of the report's day-levels row of date."""
    return next((ln for ln in txt.splitlines() if ln.split()[:1] == [date] and ":" not in (ln.split() + [""])[1]), "")


def db_text(v):
    return ("%.1f" % v).replace(".", ",")


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
    lines = open(record, "rb").read()
    check(b"\n01:" not in lines, "a line shown an hour early at the change:\n%s" % lines.decode(errors="replace"))
    side = side_of(record)
    check(side["time_zone"] == "Europe/Berlin" and side["utc_offset_at_start"] == "+02:00", "side file %r" % side)
    txt = report_text(home, record, "--interval", "3600", env=home.env(TZ="UTC"))
    rows = re.findall(r"^\s*2026-10-25\s+(02:\d\d:\d\d \+0\d:00)\s+(02:\d\d:\d\d \+0\d:00)\s+(\d+)", txt, re.M)
    check(len(rows) == 2 and rows[0][0].endswith("+02:00") and rows[0][1] == "02:00:00 +01:00"
          and rows[1][0] == "02:00:00 +01:00", "rows of the repeated hour: %r\n%s" % (rows, txt))


def test_daily_report_at_day_start(run):
    """A station recording across 07:00, its clock set back 30 s just before: one report of the day that ended,
    equal to --report of the same file and to the file's own samples, vouched for by the next side file,
    published retained; set back over 07:00 once more, it makes no second one."""
    if not shutil.which("pdftotext") or not os.path.exists(FAKETIME):
        raise Skip("pdftotext or libfaketime is not installed")
    from test_remote import Broker, Consumer, Station, fetch, free_port
    home = run.home()
    broker = Broker(home.root, run)
    clock = os.path.join(home.root, "faketime")
    target = datetime.datetime(2026, 3, 10, 6, 59, 35, tzinfo=datetime.timezone.utc).timestamp()

    def set_clock(fake_now):  # libfaketime reads the file again every second
        with open(clock, "w") as f:
            f.write("%+ds" % int(fake_now - time.time()))
    set_clock(target)
    env = {"TZ": "UTC", "LD_PRELOAD": FAKETIME, "FAKETIME_TIMESTAMP_FILE": clock, "FAKETIME_CACHE_DURATION": "1",
           "FAKETIME_DONT_RESET": "1"}
    started = time.time()
    port = free_port()
    rec = run.recorder(home, "--demo", "--record", "--mqtt", "mqtt://127.0.0.1:%d/kestro" % broker.port,
                       "--serve", str(port), "--report-lang", "de", cls=Station, extra_env=env)
    wait_for(lambda: home.record_files("LP"), 30, "a record file")
    time.sleep(max(0.0, 12 - (time.time() - started)))
    set_clock(target + (time.time() - started) - 30)
    json_path = os.path.join(home.records, "reports", "2026-03-09_12345678.json")
    wait_for(lambda: os.path.exists(json_path), 150, "the day's JSON")
    day = json.load(open(json_path))
    reports = os.path.join(home.records, "reports")
    for name, sha in ((day["report"], day["report_sha256"]), (day["intervals_csv"], day["intervals_csv_sha256"])):
        digest = subprocess.run(["sha256sum", os.path.join(reports, name)], capture_output=True, text=True).stdout
        check(digest.split()[0] == sha, "%s: %s against %s" % (name, digest, sha))
    # The station's --report-lang reaches the child that writes the day's report.
    pdf = subprocess.run(["pdftotext", os.path.join(reports, day["report"]), "-"], capture_output=True).stdout.decode()
    check("Bericht der Lärmmessung" in pdf and "Seite 1 von" in pdf, "not in German: " + pdf[:300])
    check(day["recorded"] and day["Ld"]["db"] is None and day["Lden"] is None and day["Ln"]["coverage_percent"] == 0,
          "a day of which only a minute of night was recorded: %r" % day)
    record = home.record_files("LP")[0]
    before = [float(ln.split(";")[1].replace(",", ".")) for ln in file_lines(record)[1:]
              if ln < "07:00:00" and ln.split(";")[1].strip()]
    check(abs(day["Ln"]["db"] - round(energy_mean(before), 1)) < 0.051, "Ln %r, the samples %r" % (day["Ln"], before))
    row = day_row(report_text(home, record, env=home.env(TZ="UTC")), "2026-03-09")
    check(db_text(day["Ln"]["db"]) in row, "Ln %r not in the report's row %r" % (day["Ln"]["db"], row))

    listed = json.loads(fetch("http://127.0.0.1:%d/api/days" % port)[2])
    metrics = fetch("http://127.0.0.1:%d/metrics" % port)[2].decode()
    check(listed == [day] and "\nkestro_last_daily_report_timestamp_seconds " in metrics, "%r\n%s" % (listed, metrics))
    late = Consumer(broker.port, run)
    msg = wait_for(lambda: late.on("day"), 15, "the retained day message")[0]
    check(msg[0] and msg[1] == "kestro/12345678/day" and json.loads(msg[2]) == day, repr(msg))
    # Back over 07:00: the day is made, it is not made again.
    made = os.path.getmtime(json_path)
    set_clock(datetime.datetime(2026, 3, 10, 6, 59, 52, tzinfo=datetime.timezone.utc).timestamp())
    time.sleep(25)
    rc, err = rec.finish()
    check(rc == 0 and os.path.getmtime(json_path) == made, "status %d, the day made again? %s" % (rc, err[-800:]))
    written = [ln for ln in err.splitlines() if "daily report of 2026-03-09 written" in ln]
    check(len(written) == 1, "journal: %s" % err[-1500:])
    vouched = [d for f in glob.glob(os.path.join(home.records, "*_INFO*.json")) for d in json.load(open(f)).get(
        "daily_reports", [])]
    check({"name": "reports/2026-03-09_12345678.json", "sha256": subprocess.run(
        ["sha256sum", json_path], capture_output=True, text=True).stdout.split()[0]} in vouched, repr(vouched))
    r = recorder_cmd(home, "--verify", home.records, env=home.env(TZ="UTC"))
    check(r.returncode == 0 and "OK          reports/2026-03-09_12345678.json" in r.stdout, r.stdout + r.stderr)
    with open(os.path.join(reports, day["report"]), "ab") as f:
        f.write(b"%")
    r = recorder_cmd(home, "--verify", home.records, env=home.env(TZ="UTC"))
    check(r.returncode == 1 and "CHANGED     reports/2026-03-09_12345678.json" in r.stdout, r.stdout)


def test_restart_makes_missed_days(run):
    """Two days recorded while no station ran: a start makes both (values by hand), the day between none."""
    home = run.home()
    today = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)
    today = today.replace(hour=0, minute=0, second=0, microsecond=0) - datetime.timedelta(
        days=1 if datetime.datetime.utcnow().hour < 7 else 0)
    d1, d2 = today - datetime.timedelta(days=4), today - datetime.timedelta(days=3)

    def write(start, hours, step):
        t, lines = start, []
        while t < start + datetime.timedelta(hours=hours):
            level = 60 if 7 <= t.hour < 19 else 55 if 19 <= t.hour < 23 else 45
            lines.append(b"%s; %d,0\r\n" % (t.strftime("%H:%M:%S,000").encode(), level))
            t += datetime.timedelta(seconds=step)
        path = os.path.join(home.records, start.strftime("NoiseData_LP_%Y%m%d_%H%M%S.dat"))
        with open(path, "wb") as f:
            f.write(b"Time;NoiseValue\r\n" + b"".join(lines))
        end = (t - datetime.timedelta(seconds=step)).replace(tzinfo=datetime.timezone.utc).timestamp()
        os.utime(path, (end, end))  # as the station left it
        return path
    whole = write(d1 + datetime.timedelta(hours=7), 24, 10)
    write(d2 + datetime.timedelta(hours=10), 4, 10)
    rec = run.recorder(home, "--record-dir", home.records, env=home.env(TZ="UTC"))
    names = [os.path.join(home.records, "reports", d.strftime("%Y-%m-%d_unknown.json")) for d in (d1, d2)]
    wait_for(lambda: all(map(os.path.exists, names)), 120, "both days' reports")
    first, second = (json.load(open(n)) for n in names)
    lden = 10 * math.log10((12 * 10 ** 6 + 4 * 10 ** 6.0 + 8 * 10 ** 5.5) / 24)
    laeq = 10 * math.log10((12 * 10 ** 6 + 4 * 10 ** 5.5 + 8 * 10 ** 4.5) / 24)
    check((first["Ld"]["db"], first["Le"]["db"], first["Ln"]["db"], first["Lden"], first["LAeq24h"]) ==
          (60.0, 55.0, 45.0, round(lden, 1), round(laeq, 1)) and first["complete"], repr(first))
    check(second["Ld"]["db"] == 60.0 and second["Ld"]["coverage_percent"] == 33 and second["Lden"] is None
          and second["Le"]["db"] is None, repr(second))
    row = day_row(report_text(home, whole, env=home.env(TZ="UTC")), d1.strftime("%Y-%m-%d"))
    check(all(db_text(v) in row for v in (60.0, 55.0, 45.0, first["Lden"], first["LAeq24h"])), row)
    check(sorted(os.listdir(os.path.join(home.records, "reports"))) == sorted(
        os.path.basename(n)[:-5] + ext for n in names for ext in (".json", ".pdf", "_intervals.csv")),
        repr(os.listdir(os.path.join(home.records, "reports"))))
    rec.stop_ok()
    # A day without any series, by hand: a JSON that says so, no PDF.
    empty = (today - datetime.timedelta(days=1)).strftime("%Y-%m-%d")
    r = recorder_cmd(home, "--report-day", empty, home.records, "--serial", "7", env=home.env(TZ="UTC"))
    check(r.returncode == 0 and not json.load(open(r.stdout.strip()))["recorded"]
          and not os.path.exists(r.stdout.strip()[:-5] + ".pdf"), r.stdout + r.stderr)


if __name__ == "__main__":
    main([test_report_in_another_zone, test_recorded_across_the_repeated_hour, test_daily_report_at_day_start,
          test_restart_makes_missed_days])
