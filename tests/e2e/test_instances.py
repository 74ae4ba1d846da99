#!/usr/bin/env python3
"""Several meters on one computer: instances of the recorder, each with its own places, side by side."""

import json
import os
import re
import socket
import time
import urllib.request

from kestro_e2e import RECORD_NAME, RECORDER_SECTION, check, file_lines, main, wait_for
from test_e2e import check_stream


def port_free(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) != 0


def test_two_meters_at_once(run):
    """Two instances record two simulators in one home at once: each its settings file, default record folder,
    lock, event log, state and metrics label; no line lost. A third instance set up for the first one's port
    and a second start of the first are refused, each saying why."""
    seconds = int(os.environ.get("KESTRO_E2E_INSTANCES_SECONDS", "15"))
    home = run.home()
    env = home.env(HOME=home.root)
    os.mkdir(os.path.join(home.root, "Documents"))
    store = json.load(open(home.store))
    meters = {}
    for n, name in enumerate(("meter1", "meter2")):
        link = home if n == 0 else run.home()  # a second home only for the second simulator's link
        settings = dict(store)
        settings[RECORDER_SECTION] = {k: v for k, v in store[RECORDER_SECTION].items() if k != "RecordDirectory"}
        settings[RECORDER_SECTION]["RecordNameBase"] = {"type": 1, "value": "Noise_" + name}
        os.makedirs(os.path.join(home.config, "KestroRecorder@" + name))
        json.dump(settings, open(os.path.join(home.config, "KestroRecorder@%s/registry.json" % name), "w"))
        sim = run.sim(link, "--serial", "1234567%d" % n, tag="sim" + name)
        port = 8082 + n  # --serve auto: 8081 + the number the name ends in
        err = open(os.path.join(home.root, name + ".err"), "w+")
        rec = run.recorder(home, "--instance", name, "--port", link.link, "--record", "--serve",
                           "auto" if port_free(port) else "0", env=env, stderr=err)
        meters[name] = (sim, rec, err)
    for name, (sim, rec, err) in meters.items():
        sim.wait_armed()
        url = wait_for(lambda: re.findall(r"Web server: (http://\S+/)", open(err.name).read()), 20, "the server")[0]
        check(url.endswith(":%d/" % (8082 + int(name[-1]) - 1)) or not port_free(8082 + int(name[-1]) - 1),
              "%s serves on %s" % (name, url))
        meters[name] += (url,)
        lock = os.path.join(home.runtime, "KestroRecorder@%s.lock" % name)
        check(open(lock).read() == "%d\n" % rec.proc.pid, "lock %s: %r" % (lock, open(lock).read()))

    # The same port for another instance, and the same instance again.
    busy = run.recorder(home, "--instance", "meter3", "--port", home.link, env=env)
    check(busy.proc.wait(20) == 2, "meter3 on meter1's port: exit status %r" % busy.proc.returncode)
    said = busy.proc.stderr.read().decode()
    check(re.search(r"port \S+ is used by instance meter1 \(PID %d\)" % meters["meter1"][1].proc.pid, said), said)
    again = run.recorder(home, "--instance", "meter1", env=env)
    check(again.proc.wait(20) == 1, "meter1 twice: exit status %r" % again.proc.returncode)

    for name, (sim, rec, err, url) in meters.items():
        text = urllib.request.urlopen(url + "metrics", timeout=10).read().decode()
        samples = [l for l in text.splitlines() if l and not l.startswith("#")]
        unlabelled = [l for l in samples if ('instance="%s"' % name) not in l.split(" ")[0]]
        check(samples and not unlabelled, "%s metrics without its label: %r" % (name, unlabelled[:3]))
        check(('kestro_device_online{instance="%s"} 1' % name) in samples, "%s: %r" % (name, samples[:8]))
    time.sleep(seconds)
    stop_ms = int(time.time() * 1000)
    for name, (sim, rec, err, url) in meters.items():
        rec.stop_ok()
        cmds = sim.stop()[0]
        check(cmds[-2:] == ["SMM 0", "LDK 0"], "%s: last commands %r" % (name, cmds[-4:]))
        records = os.path.join(home.root, "Documents", "KestroRecorder@" + name)
        files = sorted(os.listdir(records))
        for kind, keys, least in (("LP", {"lp"}, seconds - 2), ("LPF", {"p"}, 4 * seconds)):
            mine = [os.path.join(records, f) for f in files if f.startswith("Noise_%s_%s_" % (name, kind))
                    and RECORD_NAME.match(f)]
            got = check_stream(mine, sim.sent_lines(), keys, stop_ms)
            check(len(got) >= least, "%s: only %d %s samples in %d s" % (name, len(got), kind, seconds))
        log = file_lines(os.path.join(home.logs, "KestroRecorder@" + name, "R270_Kestro.log"))
        check(log and log[-1].endswith(": Application stopped"), "%s log: %r" % (name, log[-2:]))
        check(os.path.exists(os.path.join(home.root, "state", "KestroRecorder@" + name, "station_key.pem")),
              name + " has no station key of its own")
    keys = {open(os.path.join(home.root, "state", "KestroRecorder@" + n, "station_key.pub.pem")).read() for n in meters}
    check(len(keys) == 2, "the instances share a key")
    check(not os.listdir(home.records) and not os.path.exists(os.path.join(home.logs, "R270_Kestro.log")),
          "the unnamed instance's places were used: %r" % os.listdir(home.records))


if __name__ == "__main__":
    main([test_two_meters_at_once])
