"""The recorder as a station's service: what it tells the service manager, and a run under the manager
with the system unit's hardening."""

import os
import socket
import subprocess
import threading
import time

from kestro_e2e import RECORDER, Skip, check, main

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def test_ready_and_watchdog(run):
    """READY=1 once the port is open, WATCHDOG=1 every half watchdog time while the poll cycle runs, none
    while it is held (the program still running), again once it runs; STOPPING=1 at the end."""
    home = run.home()
    path, hold = os.path.join(home.root, "notify"), os.path.join(home.root, "hold")
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    sock.bind(path)
    run.later(lambda: (sock.shutdown(socket.SHUT_RDWR), sock.close()))
    got = []  # (monotonic seconds, datagram), stamped as they arrive

    def listen():
        while True:
            try:
                got.append((time.monotonic(), sock.recv(4096).decode()))
            except OSError:  # closed at the end
                return
    threading.Thread(target=listen, daemon=True).start()

    def receive(seconds):
        start = time.monotonic()
        time.sleep(seconds)
        return [t for t, m in got if m == "WATCHDOG=1" and t >= start]

    _, rec = run.recording(home, env=home.env(NOTIFY_SOCKET=path, WATCHDOG_USEC="2000000",
                                             KESTRO_TEST_HOLD_TICKS=hold))
    fed = receive(7)
    said = [m for _, m in got]
    check("READY=1" in said and "WATCHDOG=1" in said and said.index("READY=1") < said.index("WATCHDOG=1"),
          "told: %r" % said[:4])
    check(any(m.startswith("STATUS=version ") and ("started on COM1 (%s)" % home.link) in m
              for m in said[:said.index("READY=1")]), "ready before the port was open: %r" % said[:4])
    gaps = [b - a for a, b in zip(fed, fed[1:])]
    check(len(fed) >= 4 and min(gaps) >= 0.8 and max(gaps) < 2.0, "watchdog gaps %r" % gaps)

    open(hold, "w").close()
    held_from = time.monotonic() + 0.5  # a tick under way may still report
    fed = receive(4)
    check(rec.alive() and not [t for t in fed if t > held_from], "fed while held: %r" % fed)
    os.remove(hold)
    released = time.monotonic()
    check([t for t in receive(2.5) if t > released], "no sign of life after the hold")
    rec.stop_ok()
    receive(0.2)
    check("STOPPING=1" in [m for _, m in got], "no STOPPING=1: %r" % [m for _, m in got][-3:])
    check(home.record_files("LP"), "nothing recorded")


# Set per run below, or meaningless for a run as the calling user in a test home.
NOT_FOR_THE_TEST = {"Type", "NotifyAccess", "ExecStart", "WatchdogSec", "User", "Group", "SupplementaryGroups",
                    "StateDirectory", "StateDirectoryMode", "RuntimeDirectory",
                    "RuntimeDirectoryMode", "Restart", "RestartSec", "RestartPreventExitStatus"}


def unit_hardening():
    lines, section = [], None
    with open(os.path.join(SOURCE, "data", "kestrorecorder-system.service.in")) as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                section = line
            elif section == "[Service]" and line and not line.startswith("#"):
                key = line.split("=", 1)[0]
                if key not in NOT_FOR_THE_TEST and not (key == "Environment" and "%" in line):
                    lines.append(line)
    return lines


def test_hardened_unit_records(run):
    """Under systemd-run with the system unit's hardening (plus the simulator's pseudo-terminal and the
    test home), Type=notify and a watchdog, the headless recorder records and stops in order."""
    if not os.path.isdir("/run/systemd/system"):
        with open("/proc/1/comm") as f:
            raise Skip("no system manager runs here (PID 1 is %s), so systemd-run cannot start a unit"
                       % f.read().strip())
    user = [] if os.geteuid() == 0 else ["--user"]
    if user and subprocess.run(["systemctl", "--user", "show-environment"], capture_output=True).returncode:
        raise Skip("not root, and no user manager to start a unit under")
    # A home outside /tmp, which the unit makes private; /dev/shm is neither private nor read-only.
    home = run.home(under="/dev/shm")
    sim = run.sim(home)
    name = "kestro-e2e-%d" % os.getpid()
    props = unit_hardening() + ["Type=notify", "WatchdogSec=10", "DeviceAllow=char-pts rw",
                                "ReadWritePaths=" + home.root]
    # A build tree in a home (as on CI) would be hidden with the homes: only it is shown, read-only.
    binaries = os.path.dirname(os.path.realpath(RECORDER))
    if binaries.startswith(("/home/", "/root/", "/run/user/")):
        props += ["ProtectHome=tmpfs", "BindReadOnlyPaths=" + binaries]
    env = home.env(HOME=home.root)
    setenv = ["--setenv=%s=%s" % (k, env[k])
              for k in ("HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME", "LOGFILES", "KESTRO_COM1")]
    cmd = (["systemd-run"] + user + ["--unit", name, "--wait", "--collect", "--quiet"] + setenv
           + ["--property=" + p for p in props] + [RECORDER, "--headless", "--record"])
    manager = run.process(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    run.later(lambda: subprocess.run(["systemctl"] + user + ["stop", name], capture_output=True))
    sim.wait_armed("recording under the service manager")
    time.sleep(10)
    subprocess.run(["systemctl"] + user + ["stop", name], check=True, timeout=30)
    _, err = manager.communicate(timeout=30)
    check(manager.returncode == 0, "systemd-run: %d %s" % (manager.returncode, err.decode()[-500:]))
    check(sim.stop()[0][-2:] == ["SMM 0", "LDK 0"], "no stop sequence under the service manager")
    values = sum((open(p, "rb").read().count(b"\r\n") for p in home.record_files("LP")), 0)
    check(values >= 8, "%d record lines in 10 s" % values)
    journal = subprocess.run(["journalctl"] + user + ["-u", name, "-o", "cat"], capture_output=True, text=True).stdout
    check("record files cannot be written" not in journal, journal[-500:])


if __name__ == "__main__":
    main([test_ready_and_watchdog, test_hardened_unit_records])
