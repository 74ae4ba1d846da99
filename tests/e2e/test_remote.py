#!/usr/bin/env python3
"""End-to-end tests of remote monitoring: the real KestroRecorder with --serve
(JSON API, event stream, the page in headless Chromium) and --mqtt (a real
mosquitto broker on a free loopback port, mosquitto_sub as the consumer)."""

import glob
import hashlib
import json
import os
import pwd
import re
import select
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

import sys

sys.dont_write_bytecode = True  # nothing is written into the checkout
from kestro_e2e import Recorder, Skip, check, file_lines, main, side_of, wait_for

URL_RE = re.compile(r"Web server: (http://[^/\s]+/)")
# Slow levels four times a second: the live level moves within any 3 s.
DEMO_ENV = {"KESTRO_SIM_ARGS": "--slow-ms 250"}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class PipeLines:
    """The lines of a child's pipe as they come, read without blocking."""

    def __init__(self, pipe):
        self.pipe, self.lines, self.rest = pipe, [], b""

    def poll(self, timeout=0.0):
        while select.select([self.pipe], [], [], timeout)[0]:
            chunk = os.read(self.pipe.fileno(), 65536)
            if not chunk:
                break
            *lines, self.rest = (self.rest + chunk).split(b"\n")
            self.lines += [ln.decode(errors="replace") for ln in lines]
            timeout = 0
        return self.lines


class Station(Recorder):
    """The recorder with its standard error read as it comes."""

    def __init__(self, home, *args, extra_env=None):
        super().__init__(home, *args, env=dict(home.env(**DEMO_ENV), **(extra_env or {})))
        self.err = PipeLines(self.proc.stderr)

    def url(self, timeout=15):
        def found():
            m = next(filter(None, map(URL_RE.search, self.err.poll(0.1))), None)
            check(m or self.alive(), "the recorder ended: " + "\n".join(self.err.lines))
            return m and m.group(1)
        return wait_for(found, timeout, "the server's address on standard error")

    def finish(self, by_itself=False):
        """Ends the recorder with SIGTERM (or waits for it to end by itself); status and standard error."""
        if by_itself:
            try:
                self.proc.wait(20)
            except subprocess.TimeoutExpired:
                pass
        rc, _, rest = self.terminate(15)
        return rc, "\n".join(self.err.lines + [self.err.rest.decode(errors="replace") + rest])

    def finish_ok(self):
        rc, err = self.finish()
        check(rc == 0, "exit status %d: %s" % (rc, err))


def fetch(url, token=None, timeout=5):
    req = urllib.request.Request(url)
    if token:
        req.add_header("Authorization", "Bearer " + token)
    try:
        with urllib.request.urlopen(req, timeout=timeout) as r:
            return r.status, r.headers.get("Content-Type", ""), r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.headers.get("Content-Type", ""), e.read()


def state(base, token=None):
    status, _, body = fetch(base + "api/state", token)
    check(status == 200, "GET /api/state: %d" % status)
    return json.loads(body)


def wait_live(base, token=None, timeout=20):
    return wait_for(lambda: (lambda s: s if s["online"] and s["level_db"] is not None and s["recording"]
                             else None)(state(base, token)), timeout, "the meter online with a level")


def test_serve_api(run):
    home = run.home(recorder_values={"StatisticsInterval": 60})
    token = "e2e-t0ken"
    rec = run.recorder(home, "--demo", "--record", "--serve", "0", "--serve-token", token, cls=Station)
    base = rec.url()
    check(base.startswith("http://127.0.0.1:"), base)
    with open("/proc/%d/cmdline" % rec.proc.pid, "rb") as f:
        check(token.encode() not in f.read(), "the token in the process list")
    status, _, body = fetch(base + "api/state")
    check(status == 401 and b"level_db" not in body, "GET /api/state without the token: %d %r" % (status, body))
    s = wait_live(base, token)
    check(s["serial"] == "12345678" and s["function"] == "Lp" and s["battery"] == "full", repr(s))
    # The page in the browser's language: the headless station has the translations too.
    with urllib.request.urlopen(urllib.request.Request(base, headers={"Accept-Language": "de-DE,de;q=0.9"}), timeout=10) as r:
        page, vary = r.read().decode(), r.headers.get("Vary")
    check('<html lang="de">' in page and "Diese Station braucht ihr Token:" in page and vary == "Accept-Language",
          "the German page: %r %s" % (vary, page[:400]))

    def listed():  # the files the API lists are the files on disk
        _, _, body = fetch(base + "api/files", token)
        files = json.loads(body)
        return files if len([f for f in files if "stream" in f]) >= 2 else None
    files = wait_for(listed, 10, "two record files in /api/files")
    on_disk = set(os.listdir(home.records))
    for f in files:
        check(f["name"] in on_disk and f["size"] >= 0, "%s is not in %s" % (f["name"], sorted(on_disk)))
        check("stream" not in f or f["duration_s"] >= 0 and f["start"][10] == "T", repr(f))
    status, _, body = fetch(base + "api/statistics?token=" + token)
    stats = json.loads(body)
    check(status == 200 and stats["slow"]["type"] == "LP" and stats["fast"]["type"] == "LPF", repr(stats)[:300])
    check(stats["slow"]["interval_s"] == 60, repr(stats["slow"])[:200])
    status, ctype, body = fetch(base + "metrics", token)
    text = body.decode()
    check(status == 200 and ctype.startswith("text/plain; version=0.0.4"), ctype)
    for name in ("kestro_device_online 1", 'kestro_samples_written_total{stream="fast"} ',
                 "kestro_record_errors_total 0"):  # the recorder's counters reach the metrics
        check(name in text, "metrics without %r" % name)
    # Clients that reset the connection amid requests sent at once leave no complaint.
    for _ in range(50):
        sock = socket.create_connection(("127.0.0.1", int(base.rsplit(":", 1)[1].strip("/"))), timeout=5)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        sock.sendall(b"GET /api/history HTTP/1.1\r\nHost: x\r\n\r\n" * 50)
        time.sleep(0.002)
        sock.close()
    check(state(base, token)["online"], "the server after the resets")
    rc, err = rec.finish()
    check(rc == 0 and "QIODevice" not in err, "exit status %d: %s" % (rc, err))
    check("--serve-token: other users of this computer may have read the token" in err, err)
    # Every address without a token is refused; with one from a file or the environment it listens there.
    rc, err = run.recorder(home, "--serve", "0.0.0.0:0", cls=Station).finish(by_itself=True)
    check(rc == 2 and "--serve-token" in err and "0.0.0.0" in err, "exit status %d: %s" % (rc, err))
    os.mkfifo(os.path.join(home.root, "fifo"))  # nobody writes to it: refused at once, not waited for
    rc, err = run.recorder(home, "--serve", "0.0.0.0:0", "--serve-token-file", os.path.join(home.root, "fifo"),
                           cls=Station).finish(by_itself=True)
    check(rc == 2 and "is not a regular file" in err, "exit status %d: %s" % (rc, err))
    token_file = os.path.join(home.root, "token")
    open(token_file, "w").write("from-file-0123456\n")
    for args, env, good in ((["--serve-token-file", token_file], {}, "from-file-0123456"),
                            ([], {"KESTRO_SERVE_TOKEN": "from-env"}, "from-env")):
        rec = run.recorder(home, "--demo", "--serve", "0.0.0.0:0", *args, extra_env=env, cls=Station)
        base = rec.url().replace("0.0.0.0", "127.0.0.1")
        check(fetch(base + "api/state")[0] == 401, "no token asked")
        check(fetch(base + "api/state", good)[0] == 200, "the token %s refused" % good)
        rc, err = rec.finish()
        check(rc == 0 and "other users" not in err, "exit status %d: %s" % (rc, err))


def test_download_resumes(run):
    """A closed series downloads with `curl -C -` after a cut, byte for byte as its side file vouches."""
    if not shutil.which("curl"):
        raise Skip("curl is not installed")
    home = run.home()
    rec = run.recorder(home, "--demo", "--record", cls=Station)
    wait_for(lambda: [p for p in home.record_files("LPF") if os.path.getsize(p) > 2000], 60, "2 kB of fast values")
    rec.finish_ok()
    before = set(os.listdir(home.records))
    rec = run.recorder(home, "--demo", "--serve", "0", cls=Station)
    base = rec.url()
    record = home.record_files("LPF")[0]
    name, sha = os.path.basename(record), side_of(record)["record_sha256"]
    listed = {f["name"]: f for f in json.loads(fetch(base + "api/files")[2])}
    check(before <= set(listed) <= set(os.listdir(home.records)), "%r against %r" % (sorted(listed), sorted(before)))
    check((listed[name]["state"], listed[name]["sha256"]) == ("closed", sha), repr(listed[name]))
    part = os.path.join(home.root, name)
    curl = ["curl", "-sS", "-f", "-o", part, "-D", part + ".head", base + "files/" + name]
    check(subprocess.run(curl[:-1] + ["-r", "0-999", curl[-1]]).returncode == 0, "the first part")
    check(os.path.getsize(part) == 1000, "the first part's size")
    check(subprocess.run(curl[:3] + ["-C", "-"] + curl[3:]).returncode == 0, "the rest")
    with open(part, "rb") as f:
        check(hashlib.sha256(f.read()).hexdigest() == sha, "the resumed file differs from its side file's hash")
    head = open(part + ".head").read()
    check("206 Partial Content" in head and 'ETag: "%s"' % sha in head, head)
    rec.finish_ok()


def chromium(run):
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.options import Options
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        raise Skip("python3-selenium is not installed")
    binary = shutil.which("chromium")
    driver = shutil.which("chromedriver")
    if not binary or not driver:
        raise Skip("chromium and chromium-driver are not installed")
    profile = tempfile.mkdtemp(prefix="kestro-chromium-")
    opts = Options()
    opts.binary_location = binary
    for a in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--disable-dev-shm-usage", "--window-size=1280,920", "--user-data-dir=" + profile):
        opts.add_argument(a)
    opts.set_capability("goog:loggingPrefs", {"browser": "ALL"})  # for the policy's complaints
    run.later(lambda: shutil.rmtree(profile, ignore_errors=True))
    browser = webdriver.Chrome(service=Service(driver), options=opts)
    run.later(browser.quit)
    browser.set_page_load_timeout(30)
    return browser


def shown(browser, element_id):
    return browser.execute_script("return document.getElementById(arguments[0]).textContent;", element_id)


def test_browser_shows_live_level(run):
    home = run.home(recorder_values={"StatisticsInterval": 60})
    rec = run.recorder(home, "--demo", "--record", "--serve", "0", cls=Station)
    base = rec.url()
    port = base.rsplit(":", 1)[1].strip("/")
    wait_live(base)
    browser = chromium(run)
    browser.get(base)
    level = re.compile(r"^-?\d+\.\d$")
    first = wait_for(lambda: (lambda t: t if level.match(t) else None)(shown(browser, "level")), 15,
                     "a level on the page")
    wait_for(lambda: (lambda t: t != first and level.match(t))(shown(browser, "level")), 3,
             "the shown level to change within 3 s (it stayed %s)" % first, step=0.05)

    # What the page shows is what the API says.
    def agrees():
        before = shown(browser, "level")
        api = (lambda v: "--.-" if v is None else "%.1f" % v)(state(base)["level_db"])
        after = shown(browser, "level")
        return before == api == after
    wait_for(agrees, 5, "the page to agree with /api/state", step=0.1)
    for element, text in (("online", "online"), ("recording", "recording"), ("function", "Lp"), ("battery", "full")):
        check(shown(browser, element) == text, "%s: %s" % (element, shown(browser, element)))
    check("50-110 dB" in shown(browser, "range"), shown(browser, "range"))
    wait_for(lambda: "NoiseData_LP_" in shown(browser, "files"), 10, "the record files on the page")
    wait_for(lambda: browser.execute_script("return document.querySelectorAll('#curve polyline').length") > 0,
             10, "the curve")
    wait_for(lambda: shown(browser, "link") == "live", 5, "the live badge")

    # The program restarts on the same port: the page finds it again by itself.
    rec.finish_ok()
    wait_for(lambda: shown(browser, "link") != "live", 10, "the page to notice the end")
    rec = run.recorder(home, "--demo", "--record", "--serve", port, cls=Station)
    rec.url()
    wait_for(lambda: shown(browser, "link") == "live", 20, "the page to reconnect after the restart")
    again = shown(browser, "level")
    wait_for(lambda: level.match(shown(browser, "level")) and shown(browser, "level") != again, 10,
             "the level to move again after the restart")

    shots = os.environ.get("KESTRO_SCREENSHOT_DIR")
    if shots:
        # For the README: a minute and more, so completed intervals show.
        time.sleep(float(os.environ.get("KESTRO_SCREENSHOT_SECONDS", "3")))
        os.makedirs(shots, exist_ok=True)
        browser.save_screenshot(os.path.join(shots, "web-page.png"))
        browser.execute_script("document.getElementById('h-files').scrollIntoView()")
        browser.save_screenshot(os.path.join(shots, "web-files.png"))
    rec.finish_ok()


def test_browser_asks_for_the_token(run):
    """With a token the page asks for it, sends it as a header and puts it in no URL;
    an old bookmark's ?token= still works and leaves the address bar."""
    home = run.home()
    token = "br0wser-t0ken"
    rec = run.recorder(home, "--demo", "--record", "--serve", "0", "--serve-token", token, cls=Station)
    base = rec.url()
    wait_live(base, token)
    browser = chromium(run)
    browser.get(base)
    asked = "return !document.getElementById('login').hidden"
    wait_for(lambda: browser.execute_script(asked), 15, "the page to ask for the token")
    browser.find_element("id", "token").send_keys("wrong-token\n")
    wait_for(lambda: "refused" in shown(browser, "login-note"), 10, "the wrong token refused")
    browser.find_element("id", "token").send_keys(token + "\n")
    wait_for(lambda: shown(browser, "link") == "live" and re.match(r"^-?\d+\.\d$", shown(browser, "level")), 15,
             "the live level after the token")
    urls = browser.execute_script("return performance.getEntriesByType('resource').map((e) => e.name)")
    check(any("/api/events" in u for u in urls) and not any(token in u for u in urls), repr(urls))

    browser.execute_script("sessionStorage.clear()")
    browser.get(base + "api/../?token=" + token)  # the browser resolves the dot segment itself
    wait_for(lambda: shown(browser, "link") == "live" and not browser.execute_script(asked), 15,
             "the page live from a bookmark with the token")
    check(token not in browser.current_url, browser.current_url)
    blocked = [e["message"] for e in browser.get_log("browser") if "Content Security Policy" in e["message"]]
    check(not blocked, "\n".join(blocked))
    rec.finish_ok()


class Broker:
    def __init__(self, root, run):
        if not shutil.which("mosquitto") and not os.path.exists("/usr/sbin/mosquitto"):
            raise Skip("mosquitto is not installed")
        self.port = free_port()
        self.dir = os.path.join(root, "broker")
        os.makedirs(self.dir, exist_ok=True)
        self.conf = os.path.join(self.dir, "mosquitto.conf")
        with open(self.conf, "w") as f:
            # As root, mosquitto would turn into a user who cannot write here.
            f.write("listener %d 127.0.0.1\nallow_anonymous true\nuser %s\n"
                    % (self.port, pwd.getpwuid(os.geteuid()).pw_name))
        exe = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
        self.log = open(os.path.join(self.dir, "broker.log"), "wb")
        self.proc = subprocess.Popen([exe, "-c", self.conf], stdout=self.log, stderr=self.log)
        run.later(self.stop)

        def up():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return True
            except OSError:
                return False
        wait_for(up, 5, "the broker")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(5)
        self.log.close()


class Consumer:
    """mosquitto_sub printing '<retained> <topic> <payload>' per message."""

    def __init__(self, port, run):
        self.proc = subprocess.Popen(["stdbuf", "-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t",
                                      "kestro/#", "-q", "1", "-F", "%r %t %p", "-d"],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        run.later(self.stop)
        self.out = PipeLines(self.proc.stdout)
        wait_for(lambda: any("SUBACK" in ln for ln in self.out.poll()), 5, "the subscription")

    def on(self, leaf):
        """(retained, topic, payload) of the messages so far whose topic ends in leaf."""
        messages = [(ln.split(" ", 2) + [""])[:3] for ln in self.out.poll() if ln[:2] in ("0 ", "1 ")]
        return [(r == "1", t, p) for r, t, p in messages if t.endswith("/" + leaf)]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(5)


def test_mqtt_publishing(run):
    home = run.home(recorder_values={"StatisticsInterval": 60})
    broker = Broker(home.root, run)
    consumer = Consumer(broker.port, run)
    url = "mqtt://127.0.0.1:%d/kestro" % broker.port
    rec = run.recorder(home, "--demo", "--record", "--mqtt", url, cls=Station)
    wait_for(lambda: consumer.on("status"), 15, "the station's status")
    check(consumer.on("status")[0][1:] == ("kestro/12345678/status", "online"), repr(consumer.on("status")))
    wait_for(lambda: len(consumer.on("level")) >= 8, 15, "level messages")
    for _, topic, payload in consumer.on("level"):
        check(topic == "kestro/12345678/level" and sorted(json.loads(payload)) == [
            "db", "function", "overflow", "t", "underflow"], "%s %s" % (topic, payload))
    time.sleep(2)
    rec.finish_ok()
    # At the end the partial intervals of both streams, then the status.
    wait_for(lambda: len(consumer.on("interval")) >= 2 and consumer.on("status")[-1][2] == "offline", 10,
             "the last intervals and the offline status")
    rows = {(r[1], os.path.basename(p).split("_")[1]): r[4] for p in glob.glob(os.path.join(home.records, "*_STAT.dat"))
            for r in (line.split(";") for line in file_lines(p)[1:]) if r[0] == "Interval"}
    for _, topic, payload in consumer.on("interval"):
        msg = json.loads(payload)
        missing = {"kind", "start", "end", "samples", "leq", "lmax", "lmin", "l5", "l10", "l50", "l90", "l95",
                   "overflow", "underflow", "over_limit", "type", "stream"} - set(msg)
        check(topic == "kestro/12345678/interval" and not missing, "%s without %s: %r" % (topic, missing, msg))
        key = (msg["start"][:19].replace("T", " "), msg["type"])
        check(key in rows, "no statistics row for %r in %r" % (key, sorted(rows)))
        check(rows[key] == ("%.1f" % msg["leq"]).replace(".", ","), "Leq %r vs %r" % (msg["leq"], rows[key]))
    late = Consumer(broker.port, run)
    wait_for(lambda: late.on("status"), 5, "the retained status")
    check(late.on("status")[0] == (True, "kestro/12345678/status", "offline"), repr(late.on("status")))

    # A station that dies says "offline" through its last will.
    rec = run.recorder(home, "--demo", "--record", "--mqtt", url, cls=Station)
    n = len(consumer.on("status"))
    wait_for(lambda: len(consumer.on("status")) > n and consumer.on("status")[-1][2] == "online", 15,
             "online again")
    rec.proc.kill()
    rec.proc.wait()
    wait_for(lambda: consumer.on("status")[-1][2] == "offline", 10, "the last will")


if __name__ == "__main__":
    main([test_serve_api, test_download_resumes, test_browser_shows_live_level, test_browser_asks_for_the_token,
          test_mqtt_publishing])
