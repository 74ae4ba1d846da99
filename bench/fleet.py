"""Fleet benchmark: one MQTT broker, N headless demo stations, one consumer.

Prints the messages per second the consumer received, the CPU of each station
and of the broker, and how many interval results written by the stations
never reached the consumer (goal: 0)."""

import argparse
import glob
import json
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing lands in the checkout
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))

TICK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICK
    except OSError:
        return 0.0


def children(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_port(port, timeout=5):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return
        except OSError:
            time.sleep(0.05)
    raise SystemExit("the broker did not start")


class Broker:
    def __init__(self, root, port):
        self.root, self.port = root, port
        self.conf = os.path.join(root, "mosquitto.conf")
        with open(self.conf, "w") as f:
            # Persistence: the consumer's session outlives a broker restart.
            f.write("listener %d 127.0.0.1\nallow_anonymous true\nuser %s\npersistence true\n"
                    "persistence_location %s/\nmax_queued_messages 100000\n"
                    % (port, pwd.getpwuid(os.geteuid()).pw_name, root))
        self.cpu = 0.0
        self.start()

    def start(self):
        exe = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
        self.log = open(os.path.join(self.root, "broker.log"), "ab")
        self.proc = subprocess.Popen([exe, "-c", self.conf], stdout=self.log, stderr=self.log)
        wait_port(self.port)

    def cpu_now(self):
        return self.cpu + cpu_seconds(self.proc.pid)

    def stop(self):
        self.cpu += cpu_seconds(self.proc.pid)
        self.proc.terminate()
        self.proc.wait(10)
        self.log.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=int, default=180)
    ap.add_argument("--stations", type=int, default=20)
    ap.add_argument("--restart-broker", action="store_true", help="stop the broker for 20 s half way")
    ap.add_argument("--bin", default="build/bin")
    args = ap.parse_args()
    os.environ.setdefault("KESTRO_BIN_DIR", args.bin)
    import kestro_e2e as k  # noqa: E402

    for tool in ("mosquitto_sub",):
        if not shutil.which(tool):
            raise SystemExit("%s is missing: bash scripts/bootstrap.sh" % tool)
    root = tempfile.mkdtemp(prefix="kestro-fleet-")
    port = free_port()
    broker = Broker(root, port)
    received = os.path.join(root, "received.txt")
    consumer = subprocess.Popen(["stdbuf", "-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t",
                                 "fleet/#", "-q", "1", "-c", "-i", "fleet-consumer", "-F", "%t %p"],
                                stdout=open(received, "wb"), stderr=subprocess.DEVNULL)
    time.sleep(1)

    homes, stations = [], []
    url = "mqtt://127.0.0.1:%d/fleet" % port
    for i in range(args.stations):
        home = k.Home(header=False, recorder_values={"StatisticsInterval": 60})
        env = home.env(KESTRO_SIM_ARGS="--serial %d" % (10000001 + i))
        proc = subprocess.Popen([k.RECORDER, "--headless", "--demo", "--record", "--mqtt", url], env=env,
                                stdout=subprocess.DEVNULL, stderr=open(os.path.join(home.root, "stderr"), "wb"))
        homes.append(home)
        stations.append(proc)
    print("fleet: %d stations, broker on port %d, %d s%s" % (args.stations, port, args.seconds,
                                                            ", broker restarted half way" if args.restart_broker
                                                            else ""))
    warm = 10
    time.sleep(warm)
    t0 = time.monotonic()
    sims = [children(p.pid) for p in stations]
    cpu0 = [cpu_seconds(p.pid) for p in stations]
    sim0 = [sum(cpu_seconds(c) for c in cs) for cs in sims]
    broker0 = broker.cpu_now()
    with open(received, "rb") as f:
        lines0 = f.read().count(b"\n")
    restarted = False
    while time.monotonic() - t0 < args.seconds - warm:
        time.sleep(1)
        if args.restart_broker and not restarted and time.monotonic() - t0 > (args.seconds - warm) / 2 - 10:
            broker.stop()
            time.sleep(20)
            broker.start()
            restarted = True
    wall = time.monotonic() - t0
    cpu = [(cpu_seconds(p.pid) - c) / wall * 100 for p, c in zip(stations, cpu0)]
    sim_cpu = [(sum(cpu_seconds(c) for c in cs) - s) / wall * 100 for cs, s in zip(sims, sim0)]
    broker_cpu = (broker.cpu_now() - broker0) / wall * 100
    with open(received, "rb") as f:
        lines1 = f.read().count(b"\n")

    for p in stations:
        p.send_signal(signal.SIGTERM)
    statuses = [p.wait(30) for p in stations]
    time.sleep(3)  # the last messages reach the consumer
    consumer.terminate()
    consumer.wait(5)
    broker.stop()

    counts = {"status": 0, "level": 0, "interval": 0}
    got = set()
    duplicates = 0
    with open(received, "rb") as f:
        for raw in f:
            topic, _, payload = raw.decode(errors="replace").rstrip("\n").partition(" ")
            leaf = topic.rsplit("/", 1)[-1]
            counts[leaf] = counts.get(leaf, 0) + 1
            if leaf == "interval":
                msg = json.loads(payload)
                key = (topic.split("/")[1], msg["type"], msg["start"][:19].replace("T", " "))
                duplicates += key in got
                got.add(key)
    expected = set()
    for i, home in enumerate(homes):
        serial = "%08d" % (10000001 + i)
        for path in glob.glob(os.path.join(home.records, "*_STAT.dat")):
            kind = os.path.basename(path).split("_")[1]
            with open(path, encoding="latin-1", newline="") as f:
                for line in f.read().split("\r\n")[1:]:
                    cols = line.split(";")
                    if cols[0] == "Interval":
                        expected.add((serial, kind, cols[1]))
    lost = expected - got

    print("exit statuses: %s" % ("all 0" if not any(statuses) else statuses))
    print("messages received: %d (%s)" % (sum(counts.values()),
                                         ", ".join("%s %d" % kv for kv in sorted(counts.items()))))
    print("messages per second (steady %.0f s): %.1f" % (wall, (lines1 - lines0) / wall))
    print("CPU per station (recorder): mean %.2f %%, max %.2f %%" % (sum(cpu) / len(cpu), max(cpu)))
    print("CPU per station (its demo instrument): mean %.2f %%" % (sum(sim_cpu) / len(sim_cpu)))
    print("CPU of the broker: %.2f %%" % broker_cpu)
    print("interval results written by the stations: %d, received: %d, duplicates: %d, lost: %d"
          % (len(expected), len(expected & got), duplicates, len(lost)))
    for item in sorted(lost)[:10]:
        print("  lost: %s %s %s" % item)
    for home in homes:
        home.cleanup()
    shutil.rmtree(root, ignore_errors=True)
    return 1 if lost else 0


if __name__ == "__main__":
    sys.exit(main())
