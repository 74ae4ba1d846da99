#!/usr/bin/env python3
"""Desktop tests on a real X server (Xvfb): window titles, the orderly end when
the display goes away, and the program through a screen reader's eyes and the
keyboard alone. Exit status 77 (skipped) without Xvfb or xdotool."""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

from kestro_e2e import RECORDER, RECORDER_SECTION, Failure, Home, Sim, Skip, check, main, wait_for


class Xvfb:
    def __init__(self):
        # The server picks a free display itself (other test runs on this machine start their own),
        # and stays up between clients rather than resetting when the last one leaves.
        r, w = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                      "-noreset"],
                                     pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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


def start_window(home, xvfb):
    env = home.env(DISPLAY=xvfb.display, QT_QPA_PLATFORM="xcb")
    return subprocess.Popen([RECORDER], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def wait_for_window(app, xvfb, pred=lambda t: t):
    """The program's visible windows once pred accepts them; a program that ends first says why."""
    titles = wait_for(lambda: app.poll() is not None or pred(xvfb.titles(app.pid)), 30, "the window")
    if app.poll() is not None:
        raise AssertionError("the program ended (status %d) before showing its window: %r" %
                             (app.returncode, app.stderr.read()[-300:]))
    return titles


def test_window_titles_are_the_programs_own():
    home = Home()
    # Without stored recorder settings the first start opens Setup over the window.
    store = os.path.join(home.config, "KestroRecorder", "registry.json")
    with open(store) as f:
        doc = json.load(f)
    del doc[RECORDER_SECTION]
    with open(store, "w") as f:
        json.dump(doc, f)
    xvfb = Xvfb()
    sim = Sim(home)
    app = start_window(home, xvfb)
    try:
        titles = wait_for_window(app, xvfb, lambda t: t if len(t) >= 2 else None)
        check(titles == [" Kestro-Recorder\n", "Setup\n"], "window titles: %r" % titles)
    finally:
        app.terminate()
        app.wait(10)
        sim.stop()
        xvfb.stop()
        home.cleanup()


def test_lost_display_ends_in_order():
    home = Home()
    xvfb = Xvfb()
    sim = Sim(home)
    app = start_window(home, xvfb)
    try:
        wait_for_window(app, xvfb)
        wait_for(lambda: "gds" in sim.commands(), 10, "polling")
        xvfb.proc.kill()  # the X server dies, as when the session ends or the ssh tunnel drops
        xvfb.proc.wait()
        try:
            _, err = app.communicate(timeout=15)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end when its display went away")
        check(app.returncode == 0, "exit status %d: %r" % (app.returncode, err[-300:]))
        lines = home.log_lines()
        check(lines and lines[-1].endswith(": Application stopped"), "log: %r" % lines[-3:])
        cmds, _ = sim.stop()
        check(cmds[-2:] == ["SMM 0", "LDK 0"], "last commands: %r" % cmds[-4:])
    finally:
        if app.poll() is None:
            app.kill()
        sim.stop()
        xvfb.stop()
        home.cleanup()


class Accessibility:
    """A private session bus, from which the accessibility bus and its registry start on demand, and
    pyatspi on it. A missing piece (package) or a bus that does not come up is a skip; a program that
    does not show in the tree is a failure."""

    def __init__(self, xvfb):
        if not (shutil.which("dbus-launch") and os.path.exists("/usr/libexec/at-spi-bus-launcher")):
            raise Skip("dbus-launch or at-spi2-core missing")
        out = subprocess.run(["dbus-launch", "--sh-syntax"], env=dict(os.environ, DISPLAY=xvfb.display),
                             capture_output=True, text=True, timeout=20).stdout
        self.address = re.search(r"DBUS_SESSION_BUS_ADDRESS='([^']+)'", out).group(1)
        self.pid = int(re.search(r"DBUS_SESSION_BUS_PID=(\d+)", out).group(1))
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.address  # libatspi reads it when imported
        try:
            import pyatspi
        except ImportError:
            raise Skip("python3-pyatspi missing")
        self.at = pyatspi
        try:
            wait_for(lambda: self.at.Registry.getDesktop(0) is not None, 10, "the accessibility bus")
        except Exception as e:
            raise Skip("the accessibility bus does not start: %s" % e)

    def stop(self):
        os.kill(self.pid, signal.SIGTERM)

    def app(self):
        desk = self.at.Registry.getDesktop(0)
        desk.clearCache()
        for i in range(desk.childCount):
            a = desk.getChildAtIndex(i)
            if a is not None and a.name == "KestroRecorder":
                return a
        return None

    def objects(self, root):
        """(object, role, name, states) of every object under root that shows, fresh from the program."""
        out = []
        def walk(o):
            o.clearCache()
            states = o.getState()
            if not states.contains(self.at.STATE_SHOWING) and o.getRoleName() not in ("application",):
                return
            out.append((o, o.getRoleName(), o.name, states))
            for i in range(o.childCount):
                c = o.getChildAtIndex(i)
                if c is not None:
                    walk(c)
        walk(root)
        return out

    def window(self, name):
        a = self.app()
        for i in range(a.childCount if a else 0):
            w = a.getChildAtIndex(i)
            if w is not None and w.name == name and w.getState().contains(self.at.STATE_SHOWING):
                return w
        return None

    def find(self, name, role=None, timeout=10):
        def look():
            a = self.app()
            for o, r, n, _ in self.objects(a) if a else []:
                if n == name and (role is None or r == role):
                    return o
        return wait_for(look, timeout, "%s %r" % (role or "object", name))

    def focused(self):
        """The object with the keyboard focus: the deepest one that says so (a focus proxy's owners say
        so too; a current page tab says so whenever its tab list does)."""
        a, found = self.app(), None
        for o, r, n, st in self.objects(a) if a else []:
            if not st.contains(self.at.STATE_FOCUSED) or r in ("frame", "dialog", "application"):
                continue
            if r != "page tab" or o.parent.getState().contains(self.at.STATE_FOCUSED):
                found = "%s %r" % (r, re.sub(r"\d+\.\d dB", "# dB", n))  # one display, whatever it reads
        return found


def keys(xvfb, app, window, *names):
    """Real key presses into the program's window of that title."""
    wid = wait_for(lambda: (xvfb.xdotool("search", "--all", "--onlyvisible", "--pid", str(app.pid), "--name",
                                        "^%s$" % re.escape(window))
                            or "").split(), 10, "window " + window)[0]
    xvfb.xdotool("windowfocus", "--sync", wid)
    for k in names:
        xvfb.xdotool("key", "--clearmodifiers", k)
        time.sleep(0.15)


def test_screen_reader_and_keyboard():
    """The program as a screen-reader and keyboard user meets it: names, roles, the level and the
    record key's state in the accessibility tree; Tab leaves every table and comes round; Escape, Ctrl+W
    and Ctrl+Q; the focus visible at start and back after a message box."""
    home = Home()
    xvfb = Xvfb()
    a11y = None
    sim = Sim(home)
    apps = []

    def start():
        env = home.env(DISPLAY=xvfb.display, QT_QPA_PLATFORM="xcb", DBUS_SESSION_BUS_ADDRESS=a11y.address,
                       QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        apps.append(subprocess.Popen([RECORDER], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE))
        wait_for(lambda: a11y.window(" Kestro-Recorder"), 30, "the main window in the accessibility tree")
        return apps[-1]

    def ends_by_ctrl_q(app, window):
        keys(xvfb, app, window, "ctrl+q")
        check(app.wait(10) == 0, "Ctrl+Q in %s: exit status %d" % (window, app.returncode))

    try:
        a11y = Accessibility(xvfb)
        app = start()
        def reading():
            for o, r, n, _ in a11y.objects(a11y.app()):
                if r == "label" and re.match(r"Level \d+\.\d dB$", n):
                    return o
        level = wait_for(reading, 15, "the level read out by the display")
        check("battery" in level.description, "display description: %r" % level.description)
        keys(xvfb, app, " Kestro-Recorder")  # the window manager's part: the new window becomes active
        wait_for(lambda: (a11y.focused() or "").startswith("label 'Level"), 5, "the focus on the display at start")
        record = a11y.find("Record", "check box")
        for k, armed in (("ctrl+r", True), ("ctrl+shift+r", False)):
            keys(xvfb, app, " Kestro-Recorder", k)
            wait_for(lambda: (record.clearCache() or record.getState().contains(a11y.at.STATE_CHECKED)) == armed, 5,
                     "the record key read out as %s" % ("checked" if armed else "not checked"))
        a11y.find("Record files")
        for o, r, n, st in a11y.objects(a11y.app()):
            check(n.strip() not in ("Initialisierung", "Calibration", "Service", "unknown") or r != "radio button",
                  "a hidden option is reported as showing: %r" % n)
            check(not st.contains(a11y.at.STATE_FOCUSABLE) or n, "a focusable %s without a name" % r)

        # Tab walks every window round, through its tables and out of them.
        for window, opener in ((" Kestro-Recorder", None), ("Statistics", ("alt+t", "s"))):
            if opener:
                keys(xvfb, app, " Kestro-Recorder", *opener)
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
            keys(xvfb, app, " Kestro-Recorder", "alt+t", "s")
            wait_for(lambda: a11y.window("Statistics"), 10, "the statistics window again")
        ends_by_ctrl_q(app, "Statistics")

        # About: the focus comes back to where it was after the message box.
        app = start()
        keys(xvfb, app, " Kestro-Recorder", "alt+question", "a")
        about = "Info to KestroRecorder"
        wait_for(lambda: a11y.window(about), 10, "the about box")
        keys(xvfb, app, about)
        before = wait_for(a11y.focused, 5, "the focus in the about box")
        keys(xvfb, app, about, "alt+s")
        wait_for(lambda: a11y.window("KestroRecorder"), 10, "the message box")
        a11y.find("Systeminformationen sind momentan nicht verfügbar", "label")
        keys(xvfb, app, "KestroRecorder", "Escape")
        try:
            wait_for(lambda: a11y.focused() == before, 5, "the focus back")
        except Failure:
            raise Failure("before the message box the focus was on %r, after it on %r" % (before, a11y.focused()))
        ends_by_ctrl_q(app, about)

        # Setup: its fields by their own labels.
        app = start()
        keys(xvfb, app, " Kestro-Recorder", "alt+s")
        setup = wait_for(lambda: a11y.window("Setup"), 10, "Setup")
        fields = sorted(n for o, r, n, _ in a11y.objects(setup) if r == "text")
        check(fields == ["Base Name", "Decimal Seperator", "Directory", "Extension", "Tabular Separator"],
              "Setup's fields read out as %r" % fields)
        ends_by_ctrl_q(app, "Setup")
    finally:
        for a in apps:
            if a.poll() is None:
                a.kill()
                a.wait()
        sim.stop()
        if a11y:
            a11y.stop()
        xvfb.stop()
        home.cleanup()


if __name__ == "__main__":
    if not (shutil.which("Xvfb") and shutil.which("xdotool")):
        print("SKIP: Xvfb or xdotool missing")
        sys.exit(77)
    main([test_window_titles_are_the_programs_own, test_lost_display_ends_in_order, test_screen_reader_and_keyboard])
