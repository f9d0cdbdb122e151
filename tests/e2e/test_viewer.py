"""The viewer process that shows the notification window: there only while the window is,
never outliving the program, and never taking the program down with it."""
import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXECUTABLE = None
BLUE = (0x20, 0x60, 0xE0)
PAGE = ('<html><body style="margin:0;background:#2060e0">'
        '<p style="margin:150px 0 0 80px">Info</p></body></html>')
# Past what the engine takes as content: 3 MB, with a picture at a relative address.
BIG = PAGE.replace("Info", "Info<img src='pic.gif'>" + " " * (3 << 20))


def children(pid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    if int(f.read().rsplit(")", 1)[1].split()[1]) == pid:
                        found.append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    return harness.alive(found)


class ViewerTest(unittest.TestCase):
    def setUp(self):
        self.assertTrue(harness.wait_for(lambda: '("panel" "trayer")' in harness.x_tree(), 20),
                        "no tray host on this display")
        big = "big" in self._testMethodName
        self.server = harness.Server({"/info": (200, BIG if big else PAGE),
                                      "/pic.gif": (404, "")}, validators=True)
        self.program = harness.Program(
            EXECUTABLE, param_ini=f"[Param]\r\nPage={self.server.url('/info')}\r\nLangue=en\r\n"
                                  "DelaiInfo=0\r\n").start()

    def tearDown(self):
        self.program.cleanup()
        self.server.close()

    def why(self, text):
        return f"{text}\n--- program output ---\n{self.program.output()}"

    def viewer(self):
        """The program's one child process: the viewer (the engine's helpers are its own)."""
        found = children(self.program.process.pid)
        return found[0] if len(found) == 1 else None

    def drawn(self):
        geometry = harness.window_geometry("Tavorin")
        return bool(geometry) and harness.colour_share(
            harness.screenshot(*geometry), BLUE, inset=(3, 30, 3, 3)) > 0.9

    def wait_drawn(self):
        self.assertTrue(harness.wait_for(self.drawn, 30, step=0.3), self.why("page not shown"))
        viewer = self.viewer()
        self.assertTrue(viewer, self.why("no viewer process while shown"))
        return viewer

    def tray_click(self):
        time.sleep(0.8)  # never a double click
        center = harness.wait_for(lambda: harness.tray_icon_center("Tavorin"), 20)
        self.assertTrue(center, self.why("no tray icon"))
        harness.click(*center)
        harness.move_pointer(200, 200)

    def assert_ended(self, pids, text):
        harness.wait_for(lambda: not harness.alive(pids), 10)
        self.assertEqual([], harness.alive(pids), self.why(text))

    def test_viewer_ends_when_hidden_and_a_new_one_shows_the_page(self):
        first = self.wait_drawn()
        tree = self.program.descendants()
        self.tray_click()
        self.assertTrue(harness.wait_for(lambda: not harness.window_geometry("Tavorin"), 10),
                        self.why("not hidden"))
        self.assert_ended(tree, "the viewer or its helpers outlived the hidden window")
        self.assertIsNone(self.program.process.poll())
        self.tray_click()
        second = self.wait_drawn()
        self.assertNotEqual(first, second)

    def test_a_big_page_shows_what_was_compared_without_fetching_it_again(self):
        self.wait_drawn()
        self.assertTrue(harness.wait_for(lambda: self.server.requests_for("/pic.gif"), 10),
                        self.why("the picture's relative address did not reach the server"))
        polls = self.server.requests_for("/info")
        self.assertEqual([r for r in polls if not r[2]["User-Agent"].startswith("Tavorin/")],
                         [], self.why("the page was fetched again to be shown"))
        self.assertEqual([r[3] for r in polls].count(200), 1)

    def test_viewer_crash_spares_the_program_and_program_kill_takes_the_viewer(self):
        viewer = self.wait_drawn()
        os.kill(viewer, signal.SIGKILL)
        self.assertTrue(harness.wait_for(lambda: not harness.window_geometry("Tavorin"), 10),
                        self.why("window left after its viewer crashed"))
        polls = len(self.server.requests_for("/info"))
        self.assertTrue(harness.wait_for(lambda: len(self.server.requests_for("/info")) > polls,
                                         25), self.why("polling stopped with the viewer"))
        self.assertIsNone(self.program.process.poll(), self.why("program ended with its viewer"))
        self.tray_click()  # shows the window again, from a new viewer
        self.assertNotEqual(viewer, self.wait_drawn())

        tree = self.program.descendants()
        self.program.process.kill()
        self.program.process.wait(10)
        self.assert_ended(tree, "the viewer or its helpers outlived the killed program")


if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
