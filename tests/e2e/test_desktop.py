#!/usr/bin/env python3
"""Desktop tests on a real X server (Xvfb): window titles, and the orderly end
when the display goes away. Exit status 77 (skipped) without Xvfb or xdotool."""

import json
import os
import random
import shutil
import subprocess
import sys
import time

from kestro_e2e import RECORDER, RECORDER_SECTION, Home, Sim, check, main, wait_for


class Xvfb:
    def __init__(self):
        for _ in range(20):
            self.number = random.randint(100, 400)
            if not os.path.exists("/tmp/.X11-unix/X%d" % self.number):
                break
        self.display = ":%d" % self.number
        self.proc = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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


if __name__ == "__main__":
    if not (shutil.which("Xvfb") and shutil.which("xdotool")):
        print("SKIP: Xvfb or xdotool missing")
        sys.exit(77)
    main([test_window_titles_are_the_programs_own, test_lost_display_ends_in_order])
