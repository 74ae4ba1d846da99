#!/usr/bin/env python3
"""Desktop tests on a real X server (Xvfb): the orderly end when the display goes
away, and the program through a screen reader's eyes and the keyboard alone.
Exit status 77 (skipped) without Xvfb or xdotool."""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time


sys.dont_write_bytecode = True  # nothing is written into the checkout
from kestro_e2e import (RECORDER, RECORDER_SECTION, Failure, Skip, check, file_lines, main, read_stats, stop_in_order,
                        wait_for)


class Xvfb:
    def __init__(self, run):
        # The server picks a free display itself (other test runs on this machine start their own),
        # and stays up between clients rather than resetting when the last one leaves.
        r, w = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                      "-noreset"],
                                     pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        run.later(self.stop)
        os.close(w)
        with os.fdopen(r) as f:
            self.number = int(f.readline() or -1)
        check(self.number >= 0, "Xvfb did not start")
        self.display = ":%d" % self.number
        wait_for(lambda: self.xdotool("getdisplaygeometry") is not None, 10, "Xvfb")

    def xdotool(self, *args):
        out = subprocess.run(["xdotool"] + list(args), env=dict(os.environ, DISPLAY=self.display),
                             capture_output=True, timeout=10)
        return out.stdout.decode() if out.returncode == 0 else None

    def titles(self, pid):
        """Names of the visible windows of process pid."""
        ids = (self.xdotool("search", "--onlyvisible", "--pid", str(pid)) or "").split()
        return sorted(filter(None, (self.xdotool("getwindowname", w) for w in ids)))

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)


def start_window(run, home, xvfb, *args, **env):
    env = home.env(DISPLAY=xvfb.display, QT_QPA_PLATFORM="xcb", **env)
    return run.process([RECORDER] + list(args), env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def wait_for_window(app, xvfb, pred=lambda t: t):
    """The program's visible windows once pred accepts them; a program that ends first says why."""
    titles = wait_for(lambda: app.poll() is not None or pred(xvfb.titles(app.pid)), 30, "the window")
    if app.poll() is not None:
        raise AssertionError("the program ended (status %d) before showing its window: %r" %
                             (app.returncode, app.stderr.read()[-300:]))
    return titles


def test_mouse_and_keys(run):
    """A demo recording started by a click on the record key and stopped by its shortcut, the about
    box through the menu, the File menu by its mnemonic, and Ctrl+Q, which ends the program in order;
    so does a display that goes away (the session ends, the ssh tunnel drops)."""
    home, xvfb = run.home(overflow=True, underflow=True), Xvfb(run)
    ui_map, stats = os.path.join(home.root, "ui.json"), os.path.join(home.root, "demo-sim.stats")
    app = start_window(run, home, xvfb, "--demo", KESTRO_UI_MAP=ui_map, KESTRO_SIM_ARGS="--stats " + stats)

    def place(key):  # the program writes where its controls are once its window is up
        def read():
            try:
                with open(ui_map) as f:
                    return json.load(f).get(key)
            except (OSError, ValueError):
                return None
        return wait_for(read, 10, key + " in the UI map")

    def click(key):
        xvfb.xdotool("mousemove", "--sync", *map(str, place(key)), "click", "1")
        time.sleep(0.5)

    def lines(kind):
        return sum(len(file_lines(p)) for p in home.record_files(kind))
    place("cmdRecord.enabled")
    click("cmdRecord")
    time.sleep(8)
    check(lines("LP") >= 5 and lines("LPF") >= 20, "in 8 s %d slow and %d fast lines" % (lines("LP"), lines("LPF")))
    check(file_lines(home.record_files("LP")[0])[0] == "Time;NoiseValue;Overflow;Underflow", "header line")
    if os.environ.get("KESTRO_SCREENSHOT_DIR"):
        subprocess.run(["import", "-display", xvfb.display, "-window", "root", "-crop", "%dx%d+%d+%d" %
                        tuple(place("window")), os.path.join(os.environ["KESTRO_SCREENSHOT_DIR"],
                                                             "demo-recording.png")], check=True)
    # Setup while armed asks first: declined, nothing changes; agreed, Setup's OK resumes in a new series
    # that already has what OK stored (no header line).
    for answer in ("Escape", "Return"):
        keys(xvfb, app, " Kestro-Recorder", "alt+s")
        keys(xvfb, app, "KestroRecorder", answer)
    keys(xvfb, app, "Setup", "alt+h", "alt+o")
    wait_for(lambda: len(home.record_files("LP")) == 2 and file_lines(home.record_files("LP")[1]), 30,
             "a second series after Setup")
    check(file_lines(home.record_files("LP")[1])[0] != "Time;NoiseValue;Overflow;Underflow", "a header line after OK")
    keys(xvfb, app, " Kestro-Recorder", "ctrl+shift+r")
    time.sleep(1)
    stopped = lines("LP")
    time.sleep(2)
    check(lines("LP") == stopped, "recording went on after the stop key")
    for key in ("menu:?", "menu:About", "aboutOK"):
        click(key)
    keys(xvfb, app, " Kestro-Recorder", "alt+f")
    place("menu:Exit")
    keys(xvfb, app, " Kestro-Recorder", "Escape", "ctrl+q")
    check(app.wait(10) == 0, "Ctrl+Q: exit status %d" % app.returncode)
    wait_for(lambda: os.path.exists(stats), 5, "the simulator's stats")
    check("awm 1" in read_stats(stats)[0], "recording was never armed on the meter")
    stop_in_order(read_stats(stats)[0], home)

    sim = run.sim(home)
    app = start_window(run, home, xvfb)
    wait_for_window(app, xvfb)
    wait_for(lambda: "gds" in sim.commands(), 10, "polling")
    xvfb.proc.kill()
    _, err = app.communicate(timeout=15)
    check(app.returncode == 0, "exit status %d once the display went away: %r" % (app.returncode, err[-300:]))
    stop_in_order(sim, home)


class Accessibility:
    """pyatspi on a private session bus, from which the accessibility bus and its registry start on
    demand. A missing package or a bus that does not come up is a skip, a program missing from the
    tree a failure."""

    def __init__(self, run, xvfb):
        if not (shutil.which("dbus-launch") and os.path.exists("/usr/libexec/at-spi-bus-launcher")):
            raise Skip("dbus-launch or at-spi2-core missing")
        out = subprocess.run(["dbus-launch", "--sh-syntax"], env=dict(os.environ, DISPLAY=xvfb.display),
                             capture_output=True, text=True, timeout=20).stdout
        self.address = re.search(r"DBUS_SESSION_BUS_ADDRESS='([^']+)'", out).group(1)
        self.pid = int(re.search(r"DBUS_SESSION_BUS_PID=(\d+)", out).group(1))
        run.later(lambda: os.kill(self.pid, signal.SIGTERM))
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.address  # libatspi reads it when imported
        try:
            import pyatspi
            self.at = pyatspi
            wait_for(lambda: pyatspi.Registry.getDesktop(0) is not None, 10, "the accessibility bus")
        except (ImportError, Failure) as e:
            raise Skip("no accessibility bus: %s" % e)

    def objects(self, root=None):
        """(object, role, name, states) of what shows under root (the program), read afresh."""
        if root is None:
            desk = self.at.Registry.getDesktop(0)
            desk.clearCache()
            apps = [a for a in (desk.getChildAtIndex(i) for i in range(desk.childCount))
                    if a and a.name == "KestroRecorder"]
            if not apps:
                return []
            root = apps[0]
        root.clearCache()
        states = root.getState()
        if root.getRoleName() != "application" and not states.contains(self.at.STATE_SHOWING):
            return []
        out = [(root, root.getRoleName(), root.name, states)]
        for i in range(root.childCount):
            child = root.getChildAtIndex(i)
            out += self.objects(child) if child is not None else []
        return out

    def status_names(self):
        """The names of the status bar's panels as a screen reader hears them change from now on: returns a
        function that delivers the events arrived so far and gives those names."""
        from gi.repository import GLib
        heard = []

        def changed(e):
            if e.source.parent and e.source.parent.getRoleName() == "status bar":
                heard.append(e.source.name)  # the cache holds the name the event brought
        self.at.Registry.registerEventListener(changed, "object:property-change:accessible-name")

        def texts():
            while GLib.MainContext.default().iteration(False):
                pass
            return heard
        return texts

    def window(self, name):
        return next((o for o, r, n, _ in self.objects() if n == name and r in ("frame", "dialog", "alert")), None)

    def focused(self):
        """The deepest object that says it has the focus (the owners of a focus proxy say so too, and
        a current page tab whenever its tab list does)."""
        found = None
        for o, r, n, st in self.objects():
            if st.contains(self.at.STATE_FOCUSED) and r not in ("frame", "dialog", "alert", "application") and (
                    r != "page tab" or o.parent.getState().contains(self.at.STATE_FOCUSED)):
                found = "%s %r" % (r, re.sub(r"\d+\.\d dB", "# dB", n))  # one display, whatever it reads
        return found


def keys(xvfb, app, window, *names):
    """Real key presses into the program's window of that title (made active, as a window manager would)."""
    wid = wait_for(lambda: (xvfb.xdotool("search", "--all", "--onlyvisible", "--pid", str(app.pid), "--name",
                                         "^%s$" % re.escape(window)) or "").split(), 10, "window " + window)[0]
    xvfb.xdotool("windowfocus", "--sync", wid)
    for k in names:
        xvfb.xdotool("key", "--clearmodifiers", k)
        time.sleep(0.15)


def test_screen_reader_and_keyboard(run):
    """The program as a screen-reader and keyboard user meets it: names, roles, the level and the
    record key's state; Tab round every window and out of its tables; Escape, Ctrl+W and Ctrl+Q; the
    focus visible at start and back after a message box; window titles, Setup over the window."""
    home, xvfb = run.home(), Xvfb(run)
    run.sim(home)
    main_window = " Kestro-Recorder"

    def start(windows=1):
        app = start_window(run, home, xvfb, DBUS_SESSION_BUS_ADDRESS=a11y.address, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        wait_for_window(app, xvfb, lambda t: t if len(t) >= windows else None)
        wait_for(lambda: a11y.window(main_window), 30, "the main window in the accessibility tree")
        return app

    def ends_by_ctrl_q(app, window):
        keys(xvfb, app, window, "ctrl+q")
        check(app.wait(10) == 0, "Ctrl+Q in %s: exit status %d" % (window, app.returncode))

    a11y = Accessibility(run, xvfb)
    app = start()
    level = wait_for(lambda: next((o for o, r, n, _ in a11y.objects() if r == "label" and re.match(
        r"Level \d+\.\d dB$", n)), None), 15, "the level read out by the display")
    check("battery" in level.description, "display description: %r" % level.description)
    keys(xvfb, app, main_window)
    wait_for(lambda: a11y.focused() == "label 'Level # dB'", 5, "the focus on the display at start")
    record = next(o for o, r, n, _ in a11y.objects() if (r, n) == ("check box", "Record"))
    for k, armed in (("ctrl+r", True), ("ctrl+shift+r", False)):
        keys(xvfb, app, main_window, k)
        wait_for(lambda: (record.clearCache() or record.getState().contains(a11y.at.STATE_CHECKED)) == armed, 5,
                 "the record key read out as %s" % ("checked" if armed else "not checked"))
    names = [n for _, r, n, _ in a11y.objects()]
    check("Record files" in names, "the file list has no name")
    check(not {" Initialisierung", " Calibration", " Service", " unknown"} & set(names),
          "hidden options reported as showing: %r" % names)

    for window, opener in ((main_window, None), ("Statistics", ("alt+t", "s"))):
        if opener:
            keys(xvfb, app, main_window, *opener)
            role = wait_for(lambda: a11y.window(window), 10, window).getRoleName()
            check(role == "frame", "the statistics window's role: %s" % role)
        first, seen = a11y.focused(), []
        for _ in range(40):
            keys(xvfb, app, window, "Tab")
            seen.append(wait_for(a11y.focused, 5, "a focused object"))
            if seen[-1] == first:
                break
        check(seen[-1] == first, "%s: Tab does not come round: %r" % (window, seen))
        check(not [f for f in seen if f.endswith("''")], "%s: a stop without a name: %r" % (window, seen))
    for k in ("Escape", "ctrl+w"):
        keys(xvfb, app, "Statistics", k)
        wait_for(lambda: not a11y.window("Statistics"), 5, "%s to close the statistics window" % k)
        keys(xvfb, app, main_window, "alt+t", "s")
        wait_for(lambda: a11y.window("Statistics"), 10, "the statistics window again")
    ends_by_ctrl_q(app, "Statistics")

    app, about = start(), "Info to KestroRecorder"
    keys(xvfb, app, main_window, "alt+question", "a")
    wait_for(lambda: a11y.window(about), 10, "the about box")
    keys(xvfb, app, about)
    before = wait_for(a11y.focused, 5, "the focus in the about box")
    keys(xvfb, app, about, "alt+s")
    wait_for(lambda: a11y.window("KestroRecorder"), 10, "the message box")
    keys(xvfb, app, "KestroRecorder", "Escape")
    try:
        wait_for(lambda: a11y.focused() == before, 5, "the focus back")
    except Failure:
        raise Failure("before the message box the focus was on %r, after it on %r" % (before, a11y.focused()))
    ends_by_ctrl_q(app, about)

    # Without stored recorder settings the first start opens Setup over the window.
    home.edit_store(lambda doc: doc.pop(RECORDER_SECTION))
    app = start(windows=2)
    titles = xvfb.titles(app.pid)
    check(titles == [main_window + "\n", "Setup\n"], "window titles: %r" % titles)
    setup = wait_for(lambda: a11y.window("Setup"), 10, "Setup")
    fields = sorted(n for _, r, n, _ in a11y.objects(setup) if r == "text")
    check(fields == ["Base Name", "Decimal Seperator", "Directory", "Extension", "Tabular Separator"],
          "Setup's fields read out as %r" % fields)
    lists = set()  # every page's list boxes, named by their labels rather than their values
    for _ in range(6):
        keys(xvfb, app, "Setup", "ctrl+Tab")
        lists |= {n for _, r, n, _ in a11y.objects(setup) if r == "combo box"}
    check("Interval" in lists and not [n for n in lists if re.match(r"(\d+ (s|min)|/dev/.*|COM\d|)$", n)],
          "Setup's lists read out as %r" % lists)
    ends_by_ctrl_q(app, "Setup")


def test_exceedance_announced(run):
    """A screen reader hears an exceedance begin and end: the event panel's name changes as a live region's
    would, with the times and the LAmax, while the simulated level crosses the event level and falls back."""
    home = run.home(recorder_values={"EventLevel": 1000, "EventMinDuration": 2, "EventNotifications": 0})
    xvfb = Xvfb(run)
    a11y = Accessibility(run, xvfb)
    heard = a11y.status_names()
    run.sim(home, "--no-faults", "--burst", "30:8:104")  # after the window is up and recording, however slow
    app = start_window(run, home, xvfb, "--record", DBUS_SESSION_BUS_ADDRESS=a11y.address,
                       QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    wait_for_window(app, xvfb)
    said = [r"Exceedance started at \d\d:\d\d:\d\d$", r"Exceedance ended at \d\d:\d\d:\d\d, LAmax 10[345]\.\d dB$"]
    try:
        wait_for(lambda: all(any(re.match(p, n) for n in heard()) for p in said), 90, "the start and the end")
    except Failure:
        raise Failure("a screen reader heard no exceedance begin and end, only the names %r" % heard())


if __name__ == "__main__":
    if not (shutil.which("Xvfb") and shutil.which("xdotool")):
        print("SKIP: Xvfb or xdotool missing")
        sys.exit(77)
    main([test_mouse_and_keys, test_screen_reader_and_keyboard, test_exceedance_announced])
