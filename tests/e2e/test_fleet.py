#!/usr/bin/env python3
"""The shipped fleet files against a real Prometheus scraping a station: the alert rules load and
evaluate, and every query of the dashboard returns data."""

import json
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.parse
import urllib.request

sys.dont_write_bytecode = True  # nothing is written into the checkout
from kestro_e2e import Skip, check, main, wait_for
from test_remote import Station, fetch, free_port

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data")
RULES = os.path.join(DATA, "prometheus", "kestrorecorder-alerts.yml")
DASHBOARD = os.path.join(DATA, "grafana", "kestrorecorder.json")
LABEL_VALUES = re.compile(r"^label_values\((.*),\s*(\w+)\)$")


def dashboard_queries(doc):
    """The expressions of every panel (in rows too) and of every query variable."""
    out, panels = [], list(doc["panels"])
    while panels:
        p = panels.pop()
        out += [t["expr"] for t in p.get("targets", []) if t.get("expr")]
        panels += p.get("panels", [])
    return out + [v["query"]["query"] for v in doc["templating"]["list"] if v["type"] == "query"]


def api(base, path, **params):
    with urllib.request.urlopen(base + path + "?" + urllib.parse.urlencode(params), timeout=10) as r:
        doc = json.load(r)
    check(doc["status"] == "success", "%s %r: %r" % (path, params, doc))
    return doc["data"]


def results(base, expr):
    """What the dashboard gets: label_values(SELECTOR, LABEL) are the LABEL values of SELECTOR's series."""
    m = LABEL_VALUES.match(expr)
    found = api(base, "api/v1/query", query=m.group(1) if m else expr)["result"]
    return [s["metric"][m.group(2)] for s in found if m.group(2) in s["metric"]] if m else found


def test_dashboard_queries_return_data(run):
    prometheus = shutil.which("prometheus")
    if not prometheus:
        raise Skip("prometheus is not installed (Debian package prometheus)")
    queries = dashboard_queries(json.load(open(DASHBOARD)))
    check(len(queries) >= 12, "queries found: %r" % queries)
    home = run.home(recorder_values={"StatisticsInterval": 10})
    # A check of this meter long ago: the first reading of this run drifted 1 dB from it.
    with open(os.path.join(home.records, "calibration.csv"), "wb") as f:
        f.write(b"Time;Level;SerialNumber;Key\r\n2026-01-05T09:00:00.000+00:00;93.0;12345678;cal\r\n")
    sim = run.sim(home, "--function", "4", "--no-faults", "--cal-level", "94.0")
    rec = run.recorder(home, "--record", "--serve", "0", "--mqtt", "mqtt://127.0.0.1:%d/noise" % free_port(),
                       cls=Station)
    station = rec.url().split("//")[1].strip("/")
    wait_for(lambda: b"kestro_calibration_drift_db 1\n" in fetch(rec.url() + "metrics")[2], 20, "the drift")
    sim.turn_calibration()  # back to Lp: levels and intervals

    config = os.path.join(home.root, "prometheus.yml")
    with open(config, "w") as f:  # JSON is YAML
        json.dump({"global": {"scrape_interval": "1s", "evaluation_interval": "1s"}, "rule_files": [RULES],
                   "scrape_configs": [{"job_name": "kestrorecorder", "static_configs": [
                       {"targets": [station], "labels": {"recording_expected": "true"}}]}]}, f)
    port = free_port()
    log = open(os.path.join(home.root, "prometheus.log"), "wb")
    run.later(log.close)
    run.process([prometheus, "--config.file=" + config, "--storage.tsdb.path=" + os.path.join(home.root, "tsdb"),
                 "--web.listen-address=127.0.0.1:%d" % port], stdout=log, stderr=subprocess.STDOUT)
    base = "http://127.0.0.1:%d/" % port
    filled = {"$instance": station, "$serial": "12345678"}
    empty = queries
    end = time.monotonic() + 45
    while empty and time.monotonic() < end:
        time.sleep(1)
        try:
            empty = [q for q in queries if not results(base, re.sub(r"\$\w+", lambda m: filled[m.group(0)], q))]
        except OSError:  # not listening yet
            pass
    check(not empty, "no data for %r; see %s" % (empty, log.name))
    rules = [r for g in api(base, "api/v1/rules")["groups"] for r in g["rules"]]
    check(len(rules) >= 10 and all(r["health"] == "ok" for r in rules),
          "rules: %r" % [(r["name"], r["health"], r.get("lastError")) for r in rules])
    firing = {a["labels"]["alertname"] for a in api(base, "api/v1/alerts")["alerts"] if a["state"] == "firing"}
    check("KestroCalibrationDrift" in firing and "KestroMeterLost" not in firing, "firing: %r" % firing)


if __name__ == "__main__":
    main([test_dashboard_queries_return_data])
