"""The builder end to end: from the tray menu to a generated copy that runs on its own."""
import os
import subprocess
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXECUTABLE = None
TWIPS_PER_PIXEL = 15  # the test desktop runs at 96 dpi
BLUE = (0x20, 0x60, 0xE0)
BLUE_PAGE = '<html><body style="background:#2060e0">copy</body></html>'


def client_point(window, left, top, width, height):
    """Screen position of the middle of a control given in twips within the client area."""
    return (window["x"] + (left + width // 2) // TWIPS_PER_PIXEL,
            window["y"] + (top + height // 2) // TWIPS_PER_PIXEL)


def on_tab(left, top, width, height):
    # Controls on a tab are placed from the tab control's corner at 120, 120.
    return (120 + left, 120 + top, width, height)


class BuilderTest(unittest.TestCase):
    def setUp(self):
        self.server = harness.Server({"/info": (200, "<html><body>info</body></html>"),
                                      "/copy": (200, BLUE_PAGE)})
        self.program = harness.Program(
            EXECUTABLE, param_ini=f"[Param]\nPage={self.server.url('/info')}\nLangue=en\n",
            icon="Info.ico")
        self.copy_pids = []

    def tearDown(self):
        # A clean end takes the copy's browser helpers with it.
        for pid in self.copy_pids:
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass
        harness.wait_for(lambda: not harness.alive(self.copy_pids), 10)
        self.program.cleanup()
        self.server.close()

    def builder_window(self):
        for wid in harness._run("xdotool", "search", "--onlyvisible", "--name", "^Tavorin$").split():
            info = harness.window_info(wid)
            if info and info["viewable"] and info["width"] > 600:
                return int(wid), info
        return None

    def type_into(self, window, rect, text):
        harness.click(*client_point(window, *rect))
        harness.keys("ctrl+a")
        harness._run("xdotool", "type", "--delay", "20", text)

    def processes_running(self, path):
        pids = []
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    if os.readlink(f"/proc/{entry}/exe") == path:
                        pids.append(int(entry))
                except OSError:
                    pass
        return pids

    def test_generated_copy_watches_its_own_page(self):
        self.program.start()
        self.assertTrue(harness.wait_for(lambda: harness.tray_icon_center("Tavorin"), 30),
                        self.program.output())
        icon = harness.tray_icon_center("Tavorin")

        # Tray menu: Show, Minimize, Create your Tavorin...
        harness.click(*icon, button=3)
        time.sleep(0.5)  # the menu's first paint
        harness.keys("Down", "Down", "Down", "Return")
        found = harness.wait_for(self.builder_window, 20)
        self.assertTrue(found, "configuration window did not open\n" + self.program.output())
        wid, window = found
        harness.activate(wid)

        self.type_into(window, on_tab(2160, 600, 2055, 285), "Newsy")
        self.type_into(window, on_tab(2160, 960, 6255, 285), self.server.url("/copy"))
        # The page test: the page inside the window's pane, from a viewer of the program's.
        harness.click(*client_point(window, *on_tab(8640, 930, 1215, 330)))
        pane = [window["x"] + (120 + 2160) // TWIPS_PER_PIXEL,
                window["y"] + (120 + 1800) // TWIPS_PER_PIXEL,
                6255 // TWIPS_PER_PIXEL, 4335 // TWIPS_PER_PIXEL]
        self.assertTrue(harness.wait_for(lambda: harness.colour_share(
            harness.screenshot(*pane), BLUE, inset=(4, 4, 4, 4)) > 0.9, 30, step=0.3),
            "the preview does not show the page\n" + self.program.output())
        viewer = os.path.join(self.program.dir, "tavorin-viewer")
        self.assertTrue(self.processes_running(viewer), "no preview viewer")
        # The creation tab, then its create button; the launch question's default is Yes.
        harness.click(window["x"] + 8 + 225 + 112, window["y"] + 8 + 17)
        create = client_point(window, *on_tab(7680, 1800, 2175, 495))
        time.sleep(0.5)  # the tab's controls come up
        harness.click(*create)
        question = harness.wait_for(lambda: harness._run(
            "xdotool", "search", "--onlyvisible", "--name", "^Quorvellis$").split(), 15)
        self.assertTrue(question, "no launch question\n" + self.program.output())
        harness.activate(question[0])
        harness.keys("Return")

        folder = os.path.join(self.program.home, "Tavorin", "Newsy")
        copy = os.path.join(folder, "Newsy")
        self.assertTrue(harness.wait_for(lambda: self.server.requests_for("/copy"), 30),
                        "the copy did not request its own page\n" + self.program.output())
        self.copy_pids = self.processes_running(copy)
        self.assertTrue(self.copy_pids, "the generated copy is not running")
        # It shows its page with the viewer it carries.
        self.assertTrue(harness.wait_for(
            lambda: self.processes_running(os.path.join(folder, "tavorin-viewer")), 30),
            "the copy shows no page")
        self.copy_pids += self.processes_running(os.path.join(folder, "tavorin-viewer"))
        # Closing the configuration window ends the preview's viewer.
        harness.activate(wid)
        harness.keys("alt+F4")
        self.assertTrue(harness.wait_for(lambda: not self.processes_running(viewer), 15),
                        "the preview's viewer outlived its window")
        self.assertTrue(os.access(copy, os.X_OK))
        with open(os.path.join(folder, "Param.ini")) as f:
            self.assertEqual(f"[Param]\nPage={self.server.url('/copy')}\nLangue=en\nDelaiInfo=15\n",
                             f.read())
        with open(os.path.join(folder, "Info.ico"), "rb") as a, \
                open(os.path.join(harness.DATA, "Info.ico"), "rb") as b:
            self.assertEqual(a.read(), b.read())


if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
