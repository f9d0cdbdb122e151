"""Without a notification area the program stays reachable, and quittable, through its window."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXECUTABLE = None
SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")


class NoTrayTest(unittest.TestCase):
    """Runs on a private display of its own that starts without a tray host."""

    def setUp(self):
        self.desktop = subprocess.Popen(
            ["bash", "-c", f'source "{SCRIPTS}/desktop.sh"; desktop_start 1920x1080 notray;'
                           ' echo "$DISPLAY"; read -r _'],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(self.desktop.stdout.close)
        self.display = self.desktop.stdout.readline().strip()
        self.assertTrue(self.display.startswith(":"), "no private display")
        self.old_display = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = self.display
        # A failing page: nothing but the missing tray can bring the window up.
        self.server = harness.Server({"/info": (500, "<html><body>down</body></html>")})
        self.program = None
        self.trayer = None

    def tearDown(self):
        if self.program:
            self.program.cleanup()
        if self.trayer:
            self.trayer.kill()
            self.trayer.wait()
        self.server.close()
        self.desktop.stdin.close()
        self.desktop.wait(10)
        if self.old_display is not None:
            os.environ["DISPLAY"] = self.old_display

    def restore(self):
        """Through the window manager, as a taskbar button does."""
        subprocess.run(["xdotool", "search", "--classname", "Tavorin", "windowactivate"],
                       check=False)
        self.assertTrue(harness.wait_for(lambda: self.wm_state() == "Normal", 10),
                        f"state {self.wm_state()!r} after restoring")

    def settled_geometry(self):
        """The window's place once activation has moved it to its corner."""
        first = harness.window_geometry("Tavorin")
        time.sleep(0.3)
        return first if first and first == harness.window_geometry("Tavorin") else None

    def wm_state(self):
        for wid in subprocess.run(["xdotool", "search", "--classname", "Tavorin"],
                                  capture_output=True, text=True).stdout.split():
            out = subprocess.run(["xprop", "-id", wid, "WM_STATE"], capture_output=True,
                                 text=True).stdout
            if "window state:" in out:
                return out.split("window state:")[1].split()[0]
        return None

    def test_window_shows_then_tray_icon_arrives_with_the_tray_host(self):
        self.program = harness.Program(
            EXECUTABLE, param_ini=f"[Param]\nPage={self.server.url('/info')}\n").start()
        # Shown at start-up; the failed download may minimise it, as failures do. Either way
        # it is there, and comes back as a taskbar would bring it back.
        self.assertTrue(harness.wait_for(lambda: self.server.requests_for("/info"), 20))
        self.assertTrue(harness.wait_for(lambda: self.wm_state() in ("Normal", "Iconic"), 20),
                        f"window not there without a tray ({self.wm_state()!r})\n" +
                        self.program.output())
        time.sleep(1)  # the failure's minimise, if the window manager takes it
        self.restore()
        geometry = harness.wait_for(self.settled_geometry, 20)
        self.assertTrue(geometry, "window not shown without a tray\n" + self.program.output())

        # Its hide button minimises it instead: hidden, it could never come back.
        x, y, _, _ = geometry
        subprocess.run(["xdotool", "mousemove", str(x + 461 + 12), str(y + 13), "click", "1"])
        self.assertTrue(harness.wait_for(lambda: self.wm_state() == "Iconic", 10),
                        f"state {self.wm_state()!r} after the hide button\n" + self.program.output())
        self.restore()

        # Closing it through the window manager asks the quit question; No keeps it running.
        subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "Tavorin",
                        "windowclose"], check=False)
        self.assertTrue(harness.wait_for(lambda: subprocess.run(
            ["xdotool", "search", "--name", "Quorvellis"], capture_output=True).stdout, 10),
            "no quit question\n" + self.program.output())
        subprocess.run(["xdotool", "key", "--clearmodifiers", "Return"], check=False)  # No
        self.assertTrue(harness.wait_for(lambda: not subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "Quorvellis"],
            capture_output=True).stdout, 10))
        self.assertIsNone(self.program.process.poll())

        # A tray host that turns up later receives the icon.
        self.trayer = subprocess.Popen(["trayer", "--edge", "bottom", "--align", "right",
                                        "--widthtype", "request", "--height", "24"],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertTrue(harness.wait_for(lambda: harness.tray_holds("Tavorin"), 20),
                        "icon not embedded once a tray host appeared\n" + self.program.output())


if __name__ == "__main__":
    EXECUTABLE = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
