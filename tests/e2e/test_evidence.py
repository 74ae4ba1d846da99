#!/usr/bin/env python3
"""End-to-end tests of the evidence trail: side files, their chain, --verify and the calibration log."""

import hashlib
import http.server
import json
import os
import re
import subprocess
import time
import threading
import urllib.request

import sys

sys.dont_write_bytecode = True  # nothing is written into the checkout
from kestro_e2e import check, file_lines, main, recorder_cmd, report_text, side_of, side_path, wait_for
from test_remote import Broker, Consumer, free_port


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def verify(home, *args):
    r = recorder_cmd(home, "--verify", home.records, *args)
    verdict = re.compile(r"^(OK|NOT CLOSED|CHANGED|MISSING) ")  # the file name from the 13th column
    return r.returncode, r.stdout, {l[12:].split(":")[0]: (verdict.match(l).group(1), l)
                                    for l in r.stdout.splitlines() if verdict.match(l)}


def lp_series(home, sim, count, after_series):
    """count Lp series, each begun by a calibration check, with a calibration reading after each but the
    last; after_series(n) runs once series n has lines."""
    log = os.path.join(home.records, "calibration.csv")
    for n in range(1, count + 1):
        sim.turn_calibration()
        wait_for(lambda: len(home.record_files("LP")) >= n and len(file_lines(home.record_files("LP")[-1])) >= 3, 15,
                 "Lp series %d" % n)
        after_series(n)
        if n < count:
            readings = len(file_lines(log))
            sim.turn_calibration()
            wait_for(lambda: len(file_lines(log)) > readings, 15, "a calibration reading after series %d" % n)


def lp_side(home, n):
    return side_path(home.record_files("LP")[n - 1])


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

    rc, _, verdicts = verify(home)
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
    rc, _, verdicts = verify(home)
    word, line = verdicts.get(os.path.basename(cut), ("none", ""))
    check(rc == 0 and word == "NOT CLOSED" and verdicts[os.path.basename(home.record_files("LP")[3])][0] == "OK",
          "after a kill and a run: %d %r" % (rc, verdicts))
    check(("sha256 " + sha256(cut)) in line and ("now %d bytes" % os.path.getsize(cut)) in line, line)
    with open(lp1, "r+b") as f:
        f.seek(-4, os.SEEK_END)
        f.write(b"9")
    os.remove(lp2)
    rc, _, verdicts = verify(home)
    check(rc == 1, "verify exit status %d" % rc)
    for path, word in ((lp1, "CHANGED"), (lp2, "MISSING")):
        got = verdicts.get(os.path.basename(path), ("none", ""))
        check(got[0] == word, "%s: %s, expected %s" % (os.path.basename(path), got[1], word))


def test_signed_and_anchored(run):
    """Two Lp series with a broker: after each, the retained chain message is the newest side file's
    hash; every side file verifies with the stock openssl command and --key; --expect-head catches the
    removal of the newest series, --key a record edited with its side file's hash recomputed."""
    home = run.home()
    broker = Broker(home.root, run)
    consumer = Consumer(broker.port, run)
    sim = run.sim(home, "--function", "4", "--no-faults", "--seed", "5")
    port = free_port()
    rec = run.recorder(home, "--record", "--mqtt", "mqtt://127.0.0.1:%d/kestro" % broker.port, "--serve", str(port))

    def closed(n):
        sides = sorted(p for p in os.listdir(home.records) if p.endswith("_INFO.json"))
        return len(sides) >= n and all(side_of(os.path.join(home.records, p[:-len("_INFO.json")] + ".dat"))["state"]
                                       == "closed" for p in sides[:n])

    def published(n):  # a series ends when the next begins (or at the end); its side file then closes
        if n > 1:
            wait_for(lambda: closed(n - 1), 15, "side file %d closed" % (n - 1))
            wait_for(lambda: sha256(lp_side(home, n - 1)) in [m[2] for m in consumer.on("chain")], 15,
                     "the chain message of series %d (%r)" % (n - 1, consumer.on("chain")))
    lp_series(home, sim, 3, published)
    head = consumer.on("chain")[-1][2]
    api = json.load(urllib.request.urlopen("http://127.0.0.1:%d/api/chain" % port, timeout=10))
    metrics = urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port, timeout=10).read().decode()
    check(api["sha256"] == head and os.path.exists(os.path.join(home.records, api["side_file"])), repr(api))
    check(('sha256="%s"} 1' % head) in metrics, "no chain head info line for %s" % head)
    rec.stop_ok()
    # The head: the side file closed last, of either stream.
    sides = [os.path.join(home.records, p) for p in os.listdir(home.records) if p.endswith("_INFO.json")]
    newest = max(sides, key=lambda p: json.load(open(p))["closed_at"])
    late = Consumer(broker.port, run)
    wait_for(lambda: late.on("chain"), 5, "the retained chain message")
    check(late.on("chain")[0] == (True, "kestro/12345678/chain", sha256(newest)), repr(late.on("chain")))

    pem = recorder_cmd(home, "--print-public-key")
    check(pem.returncode == 0 and pem.stdout.startswith("-----BEGIN PUBLIC KEY-----"), pem.stdout + pem.stderr)
    key = os.path.join(home.root, "station.pem")
    with open(key, "w") as f:
        f.write(pem.stdout)
    private = os.path.join(home.root, "state", "KestroRecorder", "station_key.pem")
    check(os.stat(private).st_mode & 0o077 == 0, "the private key is readable by others")
    for record in home.record_files("LP"):
        side = side_path(record)
        r = subprocess.run(["openssl", "pkeyutl", "-verify", "-pubin", "-inkey", key, "-rawin", "-in", side,
                            "-sigfile", side + ".sig"], capture_output=True, text=True, timeout=30)
        check(r.returncode == 0 and "Signature Verified Successfully" in r.stdout, side + ": " + r.stdout + r.stderr)
    rc, _, verdicts = verify(home, "--key", key)
    check(rc == 0 and all("SIGNED BY THE STATION" in verdicts[os.path.basename(n)][1] for n in home.record_files("LP")),
          "%d %r" % (rc, verdicts))
    rc, out, _ = verify(home, "--expect-head", sha256(newest))
    check(rc == 0 and "HEAD AS EXPECTED" in out, out)

    # A marker added to a closed series: the report lists it apart and leaves nothing out for it.
    record = home.record_files("LP")[0]
    events = record[:-len(".dat")] + "_EVENTS.dat"
    stamp = re.search(r"_(\d{4})(\d\d)(\d\d)_(\d\d)(\d\d)(\d\d)\.dat$", record).groups()
    start = "%s-%s-%s %s:%s:%s,000" % stamp
    original = open(events, "rb").read() if os.path.exists(events) else None
    with open(events, "ab") as f:
        if f.tell() == 0:
            f.write(b"Kind;Start;End;Duration;Samples;Lmax;Leq;SEL;State;Note\r\n")
        f.write(("Marker;%s;%s;1,0;1;60,0;60,0;60,0;closed;forged\r\n" % (start, start)).encode())
    text = report_text(home, record, layout=False)
    check("Not vouched for: 1 rows" in text and "Nothing was marked" in text and "forged" in text, text[-2000:])
    check(verify(home)[0] == 1, "the forged marker passes --verify")
    if original is None:
        os.remove(events)
    else:
        with open(events, "wb") as f:
            f.write(original)

    # The newest series removed: only the published head tells.
    head = sha256(newest)
    for p in os.listdir(home.records):
        if p.startswith(os.path.basename(newest)[:-len("_INFO.json")]):
            os.remove(os.path.join(home.records, p))
    check(verify(home)[0] == 0, "without the head, the rest still verifies")
    rc, out, _ = verify(home, "--expect-head", head)
    check(rc == 1 and "HEAD REMOVED OR REPLACED" in out, out)

    # The newest record edited and its side file's hash recomputed: only the signature tells.
    sides = [p for p in sides if os.path.exists(p)]
    name = json.load(open(max(sides, key=lambda p: json.load(open(p))["closed_at"])))["record_file"]
    path = os.path.join(home.records, name)
    with open(path, "r+b") as f:
        f.seek(-4, os.SEEK_END)
        f.write(b"9")
    side = side_of(path)
    side["record_sha256"] = sha256(path)
    with open(side_path(path), "w") as f:
        json.dump(side, f, indent=4)
    check(verify(home)[0] == 0, "a recomputed hash passes without the key")
    rc, _, verdicts = verify(home, "--key", key)
    check(rc == 1 and verdicts[name][0] == "CHANGED" and "BAD SIGNATURE" in verdicts[name][1], "%d %r" % (rc, verdicts))


class Authority:
    """A time-stamping authority made with openssl ts, behind a small HTTP responder on loopback;
    while `up` is false it answers 503, as one out of reach."""

    def __init__(self, root, name):
        self.dir = os.path.join(root, name)
        os.makedirs(self.dir)
        self.ca = os.path.join(self.dir, "ca.pem")
        self.up = True

        def sh(*args):
            subprocess.run(args, cwd=self.dir, check=True, capture_output=True, timeout=60)
        sh("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-subj",
           "/CN=%s CA" % name, "-days", "2", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
           "keyUsage=critical,keyCertSign")
        sh("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "tsa.key", "-out", "tsa.csr", "-subj",
           "/CN=%s" % name)
        with open(os.path.join(self.dir, "ext.cnf"), "w") as f:
            f.write("extendedKeyUsage=critical,timeStamping\n")
        sh("openssl", "x509", "-req", "-in", "tsa.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-out",
           "tsa.pem", "-days", "2", "-extfile", "ext.cnf")
        with open(os.path.join(self.dir, "serial"), "w") as f:
            f.write("01\n")
        with open(os.path.join(self.dir, "tsa.cnf"), "w") as f:
            f.write("[tsa]\ndefault_tsa = t\n[t]\ndir = %s\nserial = $dir/serial\ncrypto_device = builtin\n"
                    "signer_cert = $dir/tsa.pem\ncerts = $dir/ca.pem\nsigner_key = $dir/tsa.key\n"
                    "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\ndigests = sha256\naccuracy = secs:1\n"
                    "ess_cert_id_alg = sha256\n" % self.dir)
        authority = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                query = self.rfile.read(int(self.headers["Content-Length"]))
                if not authority.up:
                    self.send_response(503)
                    self.end_headers()
                    return
                q, r = os.path.join(authority.dir, "q.tsq"), os.path.join(authority.dir, "r.tsr")
                with open(q, "wb") as f:
                    f.write(query)
                sh("openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", q, "-out", r)
                reply = open(r, "rb").read()
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(reply)))
                self.end_headers()
                self.wfile.write(reply)

            def log_message(self, *args):
                pass
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def test_time_stamps(run):
    """Side files stamped by a local authority: one closed while it was out of reach is stamped when
    the next closes; the stamps verify with openssl ts and --verify --tsa-ca, and against another
    authority's certificate they are refused."""
    home = run.home()
    tsa, other = Authority(home.root, "tsa"), Authority(home.root, "other")
    run.later(tsa.stop)
    run.later(other.stop)
    tsa.up = False
    sim = run.sim(home, "--function", "4", "--no-faults", "--seed", "7")
    rec = run.recorder(home, "--record", "--tsa", tsa.url)

    def reachable_after_the_first(n):
        if n == 2:
            wait_for(lambda: side_of(home.record_files("LP")[0])["state"] == "closed", 15, "the first side file closed")
            time.sleep(1)
            check(not os.path.exists(lp_side(home, 1) + ".tsr"), "a stamp from an authority out of reach")
            tsa.up = True
    lp_series(home, sim, 3, reachable_after_the_first)
    wait_for(lambda: all(os.path.exists(lp_side(home, n) + ".tsr") for n in (1, 2)), 15,
             "the stamps of series 1 and 2")
    rec.stop_ok()
    first = lp_side(home, 1)
    r = subprocess.run(["openssl", "ts", "-verify", "-in", first + ".tsr", "-data", first, "-CAfile", tsa.ca],
                       capture_output=True, text=True, timeout=30)
    check(r.returncode == 0 and "Verification: OK" in r.stdout, r.stdout + r.stderr)
    lp1 = os.path.basename(home.record_files("LP")[0])
    rc, _, verdicts = verify(home, "--tsa-ca", tsa.ca)
    check(rc == 0 and "TIME-STAMPED" in verdicts[lp1][1], "%d %r" % (rc, verdicts))
    rc, _, verdicts = verify(home, "--tsa-ca", other.ca)
    check(rc == 1 and "BAD TIME STAMP" in verdicts[lp1][1], "%d %r" % (rc, verdicts))


if __name__ == "__main__":
    main([test_calibration_and_chain, test_signed_and_anchored, test_time_stamps])
