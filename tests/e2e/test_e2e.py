#!/usr/bin/env python3
"""End-to-end tests: the real KestroRecorder binary, headless, against kestro-sim."""

import os
import re
import time

from kestro_e2e import (Failure, Home, Recorder, Sim, Skip, check, expected_values, find_run, main,
                        read_record_values, wait_for)
from stat_check import check_stat_file, stat_path

NAME_RE = re.compile(r"^NoiseData_(LP|LEQ|MAX|LPF|LEQF|RAW|UnknownType)_(\d{8})_(\d{6})\.dat$")


def wait_commands(sim, pred, timeout, what):
    return wait_for(lambda: pred(sim.commands()), timeout, what, step=0.2)


def check_stop_sequence(cmds, log_lines):
    check(cmds[-2:] == ["SMM 0", "LDK 0"], "last commands were %r" % cmds[-4:])
    check(log_lines and log_lines[-1].endswith(": Application stopped"),
          "last log line: %r" % (log_lines[-1:],))


def check_stream(files, sent, keys, until_ms, header=True, slack_ms=300):
    """Every value line sent while recording ran is in the files, in order, with its value.

    files: the record files of one stream in the order they were started; each must hold a
    contiguous run of what the simulator sent, and together they must hold every line sent
    from the first recorded one up to until_ms (less the last slack_ms, still on the wire)."""
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


def files_by_kind(home):
    out = {}
    for path in home.record_files():
        m = NAME_RE.match(os.path.basename(path))
        check(m, "unexpected record file name " + os.path.basename(path))
        out.setdefault(m.group(1), []).append(path)
    return out


def test_command_line():
    import subprocess
    from kestro_e2e import RECORDER
    home = Home()
    try:
        env = home.env()
        out = subprocess.run([RECORDER, "--help"], env=env, capture_output=True, timeout=20)
        text = out.stdout.decode()
        check(out.returncode == 0, "--help exit status %d" % out.returncode)
        for opt in ("--demo", "--headless", "--record", "--version"):
            check(opt in text, "--help does not mention " + opt)
        out = subprocess.run([RECORDER, "--version"], env=env, capture_output=True, timeout=20)
        check(out.returncode == 0 and "1.0.1" in out.stdout.decode(), "--version: %r" % out.stdout)
        # Without a meter a headless run cannot do its job: it says why and ends with status 2.
        env["KESTRO_COM1"] = os.path.join(home.root, "no-such-device")
        out = subprocess.run([RECORDER, "--headless"], env=env, capture_output=True, timeout=20)
        check(out.returncode == 2, "headless without a port: exit status %d" % out.returncode)
        check("is not availiable!" in out.stderr.decode(), "stderr: %r" % out.stderr)
    finally:
        home.cleanup()


def test_startup_and_stop():
    home = Home()
    sim = Sim(home)
    rec = Recorder(home)
    try:
        wait_commands(sim, lambda c: c.count("gds") >= 5, 10, "status queries")
        cmds = sim.commands()
        check(cmds[0] == "gsn", "first command %r" % cmds[:1])
        for c in ("smm 1", "gdv", "gdi", "ldk 3"):
            check(c in cmds, "start-up command %r missing from %r" % (c, cmds[:12]))
        rc, _, err = rec.terminate()
        check(rc == 0, "exit status %d: %s" % (rc, err))
        cmds, _ = sim.stop()
        check_stop_sequence(cmds, home.log_lines())
    finally:
        sim.stop()
        if rec.alive():
            rec.proc.kill()
        home.cleanup()


def test_second_instance():
    home = Home()
    sim = Sim(home)
    first = Recorder(home)
    try:
        wait_commands(sim, lambda c: "gds" in c, 10, "the first instance")
        second = Recorder(home)
        rc = second.proc.wait(10)
        err = second.proc.stderr.read().decode()
        check(rc == 1, "second instance exit status %d" % rc)
        check("You can start the Measurement viewer only one time!" in err, "stderr: " + err)
        refusals = [l for l in home.log_lines()
                    if l.endswith(": FormLoad.Error: Application started as second instance - Application stopped")]
        check(len(refusals) == 1, "refusal lines: %r" % refusals)
        check(first.alive(), "first instance died")
        n = len(sim.commands())
        time.sleep(0.5)
        check(len(sim.commands()) > n, "first instance stopped polling")
        rc, _, _ = first.terminate()
        check(rc == 0, "first instance exit status %d" % rc)
    finally:
        sim.stop()
        if first.alive():
            first.proc.kill()
        home.cleanup()


def record_run(sim_args, seconds):
    home = Home()
    sim = Sim(home, *sim_args)
    rec = Recorder(home, "--record")
    try:
        wait_commands(sim, lambda c: "awm 1" in c, 10, "recording to be armed")
        time.sleep(seconds)
        stop_ms = int(time.time() * 1000)
        rc, _, err = rec.terminate()
        check(rc == 0, "exit status %d: %s" % (rc, err[-500:]))
        cmds, _ = sim.stop()
        check_stop_sequence(cmds, home.log_lines())
        kinds = files_by_kind(home)
        check(set(kinds) == {"LP", "LPF"}, "record files: %r" % sorted(kinds))
        sent = sim.sent_lines()
        slow = check_stream(kinds["LP"], sent, {"lp"}, stop_ms)
        fast = check_stream(kinds["LPF"], sent, {"p"}, stop_ms)
        check(len(slow) >= seconds - 2, "only %d slow samples in %d s" % (len(slow), seconds))
        check(len(fast) >= 4 * seconds, "only %d fast samples in %d s" % (len(fast), seconds))
        return home
    finally:
        sim.stop()
        if rec.alive():
            rec.proc.kill()


def test_recording():
    record_run([], 20).cleanup()


def test_recording_faults():
    home = record_run(["--split", "--upper", "--garbage"], 15)
    errors = [l for l in home.log_lines() if "Error" in l]
    check(not errors, "errors logged: %r" % errors[:3])
    home.cleanup()


def test_silent_device_comes_back():
    home = Home()
    sim = Sim(home, "--silent-after", "6")
    rec = Recorder(home, "--record")
    try:
        wait_commands(sim, lambda c: "awm 1" in c, 10, "recording to be armed")
        # Offline: the recorder asks for the serial number again.
        def went_offline(c):
            last = len(c) - 1 - c[::-1].index("awm 1")
            return c[last:].count("gsn") >= 3
        wait_commands(sim, went_offline, 15, "the recorder to notice the silence")
        silent_from = int(time.time() * 1000)
        first = files_by_kind(home)
        check(len(first.get("LP", [])) == 1, "files before the silence: %r" % first)
        check_stream(first["LP"], sim.sent_lines(), {"lp"}, silent_from)
        check_stream(first["LPF"], sim.sent_lines(), {"p"}, silent_from)
        sim.kill()
        sim2 = Sim(home, tag="sim2")
        wait_commands(sim2, lambda c: "awm 1" in c, 10, "recording to resume")
        time.sleep(4)
        stop_ms = int(time.time() * 1000)
        rc, _, _ = rec.terminate()
        check(rc == 0, "exit status %d" % rc)
        sim2.stop()
        kinds = files_by_kind(home)
        check(len(kinds["LP"]) == 2 and len(kinds["LPF"]) == 2, "files: %r" % kinds)
        new_lp = [f for f in kinds["LP"] if f not in first["LP"]]
        new_lpf = [f for f in kinds["LPF"] if f not in first["LPF"]]
        check_stream(new_lp, sim2.sent_lines(), {"lp"}, stop_ms)
        check_stream(new_lpf, sim2.sent_lines(), {"p"}, stop_ms)
    finally:
        sim.stop()
        if rec.alive():
            rec.proc.kill()
        home.cleanup()


def test_unplug_replug():
    home = Home()
    sim = Sim(home)
    rec = Recorder(home, "--record")
    try:
        wait_commands(sim, lambda c: "awm 1" in c, 10, "recording to be armed")
        time.sleep(5)
        unplug_ms = int(time.time() * 1000)
        sim.kill()
        sent_before = sim.sent_lines()
        time.sleep(1.0)
        check(rec.alive(), "recorder died on unplug")
        before = files_by_kind(home)
        check_stream(before["LP"], sent_before, {"lp"}, unplug_ms)
        check_stream(before["LPF"], sent_before, {"p"}, unplug_ms)
        back = time.monotonic()
        sim2 = Sim(home, tag="sim2")
        wait_for(lambda: os.path.exists(sim2.stats) or sim2.snapshot()[0], 3, "stats")
        wait_commands(sim2, lambda c: len(c) > 0, 5, "the first command after the replug")
        took = time.monotonic() - back
        check(took <= 2.0, "reconnect took %.2f s" % took)
        wait_commands(sim2, lambda c: "awm 1" in c, 10, "recording to resume")
        time.sleep(3)
        stop_ms = int(time.time() * 1000)
        rec.terminate()
        cmds, _ = sim2.stop()
        check_stop_sequence(cmds, home.log_lines())
        kinds = files_by_kind(home)
        new_lp = [f for f in kinds["LP"] if f not in before["LP"]]
        check(len(new_lp) == 1, "files after replug: %r" % kinds)
        check_stream(new_lp, sim2.sent_lines(), {"lp"}, stop_ms)
        # Nothing recorded before the unplug went missing afterwards.
        check_stream(before["LP"], sent_before, {"lp"}, unplug_ms)
    finally:
        sim.stop()
        if rec.alive():
            rec.proc.kill()
        home.cleanup()


def test_report_command():
    """--report without any display: a PDF, or a reason and the documented exit status."""
    import subprocess
    from kestro_e2e import RECORDER
    home = Home()
    try:
        env = home.env()
        for var in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(var, None)
        rec = os.path.join(home.records, "NoiseData_LEQ_20260305_235000.dat")
        with open(rec, "wb") as f:
            f.write(b"Time;NoiseValue;Overflow;Underflow\r\n")
            for i in range(1800):  # across midnight
                t = (23 * 3600 + 50 * 60 + i) % 86400
                f.write(b"%02d:%02d:%02d,000; %d,%d; 0; 0\r\n" % (t // 3600, t // 60 % 60, t % 60, 60 + i % 20, i % 10))
            f.write(b"00:20:0")  # torn
        out_pdf = os.path.join(home.root, "out.pdf")

        def run(*args):
            return subprocess.run([RECORDER, "--report"] + list(args), env=env, capture_output=True, timeout=60)
        r = run(rec, "--interval", "300", "--limit", "70", "-o", out_pdf)
        check(r.returncode == 0, "report exit status %d: %r" % (r.returncode, r.stderr))
        with open(out_pdf, "rb") as f:
            check(f.read(5) == b"%PDF-", "not a PDF")
        check(b"incomplete" in r.stderr, "no notice of the torn line: %r" % r.stderr)
        # Beside the record file by default.
        r = run(rec)
        check(r.returncode == 0 and os.path.exists(rec[:-4] + ".pdf"), "default output: %r" % r.stderr)
        # A broken line: file and line are named, status 2.
        bad = os.path.join(home.records, "NoiseData_LP_20260305_120000.dat")
        with open(bad, "wb") as f:
            f.write(b"12:00:00,000; 65,3\r\n12:00:01,000; 65;3\r\n")
        r = run(bad, "-o", out_pdf)
        check(r.returncode == 2, "broken file: exit status %d" % r.returncode)
        check((bad + ", line 2").encode() in r.stderr, "message: %r" % r.stderr)
        r = run(os.path.join(home.records, "missing_LP_20260305_120000.dat"))
        check(r.returncode == 2, "missing file: exit status %d" % r.returncode)
        for args, status in (([rec, "--interval", "120"], 1), ([rec, "--limit", "loud"], 1),
                             ([rec, "-o", os.path.join(home.root, "no", "such", "dir", "x.pdf")], 3)):
            r = run(*args)
            check(r.returncode == status, "%r: exit status %d, expected %d" % (args, r.returncode, status))
    finally:
        home.cleanup()


def test_statistics_files():
    """Records for three intervals of 60 s and checks every row of the statistics
    files against an independent computation from the record files."""
    home = Home(overflow=True, underflow=True, recorder_values={"StatisticsInterval": 60, "LimitLevel": 600})
    sim = Sim(home)
    rec = Recorder(home, "--record")
    try:
        wait_commands(sim, lambda c: "awm 1" in c, 10, "recording to be armed")
        wait_for(lambda: len(home.record_files()) >= 2, 10, "record files of both streams")
        time.sleep(1)
        # A series writes the header of its statistics file when it starts.
        if not any(os.path.exists(stat_path(r)) for r in home.record_files()):
            raise Skip("no statistics files: the statistics are not fed by the sample hand-off")
        # Past two whole minutes: a partial first interval, at least one whole one, a partial last one.
        now = time.time()
        time.sleep((int(now) // 60 + 3) * 60 - now + 2)
        rc, _, err = rec.terminate()
        check(rc == 0, "exit status %d: %s" % (rc, err))
        sim.stop()
        records = home.record_files()
        for r in records:
            problems, intervals = check_stat_file(r, 60, 600)
            check(not problems, "%s: %s" % (os.path.basename(r), "; ".join(problems[:5])))
            check(intervals >= 3, "%s: only %d Interval rows" % (os.path.basename(r), intervals))
    finally:
        sim.stop()
        if rec.alive():
            rec.proc.kill()
        home.cleanup()


if __name__ == "__main__":
    main([test_command_line, test_startup_and_stop, test_second_instance, test_recording, test_recording_faults,
          test_report_command, test_statistics_files,
          test_silent_device_comes_back, test_unplug_replug])
