#!/usr/bin/env python3
"""Several meters on one computer: instances of the recorder side by side."""

import json
import os
import re
import time
import urllib.request

from kestro_e2e import RECORD_NAME, RECORDER_SECTION, check, file_lines, main, wait_for
from test_e2e import check_stream


def test_two_meters_at_once(run):
    """Two instances record two simulators in one home at once, each with its settings file, default record folder,
    lock, event log, key and metrics label; no line lost. An instance set up for the first one's port and a
    second start of the first are refused."""
    seconds = int(os.environ.get("KESTRO_E2E_INSTANCES_SECONDS", "15"))
    home = run.home()
    env, store, meters = home.env(HOME=home.root), json.load(open(home.store)), []
    os.mkdir(os.path.join(home.root, "Documents"))
    place = lambda base, name, *rest: os.path.join(home.root, base, "KestroRecorder@" + name, *rest)  # noqa: E731
    for n, name in enumerate(("meter1", "meter2")):
        link = run.home() if n else home  # another home for the second simulator's link alone
        store[RECORDER_SECTION] = {k: v for k, v in store[RECORDER_SECTION].items() if k != "RecordDirectory"}
        store[RECORDER_SECTION]["RecordNameBase"] = {"type": 1, "value": "Noise_" + name}
        os.makedirs(place("config", name))
        json.dump(store, open(place("config", name, "registry.json"), "w"))
        sim = run.sim(link, "--serial", "1234567%d" % n, tag=name)
        err = open(os.path.join(home.root, name + ".err"), "w")
        rec = run.recorder(home, "--instance", name, "--port", link.link, "--record", "--serve", "127.0.0.1:auto",
                           env=env, stderr=err)
        meters.append((name, sim, rec, err.name))
    for name, sim, rec, err in meters:
        sim.wait_armed()
        wait_for(lambda: "Web server: http://127.0.0.1:%d/" % (8081 + int(name[-1])) in open(err).read(), 20, name)
        check(open(os.path.join(home.runtime, "KestroRecorder@%s.lock" % name)).read() == "%d\n" % rec.proc.pid, name)
        metrics = urllib.request.urlopen("http://127.0.0.1:%d/metrics" % (8081 + int(name[-1])), timeout=10).read()
        samples = [l for l in metrics.decode().splitlines() if l and not l.startswith("#")]
        check('kestro_device_online{instance="%s"} 1' % name in samples and
              all('instance="%s"' % name in l.split(" ")[0] for l in samples), "%s: %r" % (name, samples[:5]))
    busy = run.recorder(home, "--instance", "meter3", "--port", home.link, env=env)
    check(busy.proc.wait(20) == 2 and re.search(r"port \S+ is used by instance meter1 \(PID %d\)" % meters[0][2].proc.pid,
                                                busy.proc.stderr.read().decode()), "meter3 on meter1's port")
    check(run.recorder(home, "--instance", "meter1", env=env).proc.wait(20) == 1, "meter1 started twice")
    time.sleep(seconds)
    stop_ms = int(time.time() * 1000)
    for name, sim, rec, err in meters:
        rec.stop_ok()
        check(sim.stop()[0][-2:] == ["SMM 0", "LDK 0"], name + " ended without the stop sequence")
        files = sorted(f for f in os.listdir(place("Documents", name)) if RECORD_NAME.match(f))
        for kind, keys, least in (("LP", {"lp"}, seconds - 2), ("LPF", {"p"}, 4 * seconds)):
            mine = [place("Documents", name, f) for f in files if f.startswith("Noise_%s_%s_" % (name, kind))]
            got = check_stream(mine, sim.sent_lines(), keys, stop_ms)
            check(len(got) >= least, "%s: only %d %s samples in %d s" % (name, len(got), kind, seconds))
        check(file_lines(os.path.join(home.logs, "KestroRecorder@" + name, "R270_Kestro.log"))[-1].endswith(
            ": Application stopped"), name + " log")
    keys = {open(place("state", name, "station_key.pub.pem")).read() for name, *_ in meters}
    check(len(keys) == 2, "the instances share a station key")
    check(not os.listdir(home.records) and not os.path.exists(os.path.join(home.logs, "R270_Kestro.log")),
          "the places of the run without --instance were used")


if __name__ == "__main__":
    main([test_two_meters_at_once])
