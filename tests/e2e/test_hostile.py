"""Hostile pages shown by the real program: neither the tray, the menu and Quit, nor the
machine's memory are theirs to take."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import hostile_pages  # noqa: E402

EXECUTABLE = None
LIMIT_MB = 1024
HIDDEN_MB = 300
SHOWN_S = 12  # per page: long enough for a page unchecked to grow past the limit


class HostileTest(unittest.TestCase):
    def setUp(self):
        self.assertTrue(harness.wait_for(lambda: '("panel" "trayer")' in harness.x_tree(), 20),
                        "no tray host on this display")
        self.server = hostile_pages.HostileServer()
        self.program = None

    def tearDown(self):
        if self.program:
            self.program.cleanup()
        self.server.close()

    def why(self, text):
        return f"{text}\n--- program output ---\n{self.program.output()}"

    def shown(self):
        return [wid for wid, info in harness.visible_windows("Tavorin").items()
                if not info["override"] and info["width"] > 500]  # not the quit question

    def tray_click(self, button=1):
        center = harness.wait_for(lambda: harness.tray_icon_center("Tavorin"), 10)
        self.assertTrue(center, self.why("no tray icon"))
        time.sleep(0.8)  # never a double click
        harness.click(*center, button=button)
        harness.move_pointer(200, 200)

    def test_pages_neither_lock_the_program_nor_take_the_machine(self):
        self.server.set_kind(hostile_pages.KINDS[0])
        self.program = harness.Program(EXECUTABLE, param_ini=(
            f"[Param]\nPage={self.server.url()}\nLangue=en\nDelaiInfo=0\n")).start()
        usage = hostile_pages.Usage(self.program)
        for kind in hostile_pages.KINDS:
            self.server.set_kind(kind)
            self.assertTrue(harness.wait_for(self.shown, 30, step=0.2),
                            self.why(f"{kind}: the changed page did not come up"))
            peak = 0.0
            until = time.monotonic() + SHOWN_S
            while time.monotonic() < until:
                peak = max(peak, usage.memory_mb())
                time.sleep(0.5)
            self.assertLess(peak, LIMIT_MB, self.why(f"{kind}: {peak:.0f} MB"))
            if kind == "alert":
                break  # left shown for the menu
            self.tray_click()
            self.assertTrue(harness.wait_for(lambda: not self.shown(), 5, step=0.05),
                            self.why(f"{kind}: a tray click did not hide the window"))
            # Hidden, the page's renderer goes and its memory with it.
            self.assertTrue(harness.wait_for(lambda: usage.memory_mb() < HIDDEN_MB, 15, step=1),
                            self.why(f"{kind}: {usage.memory_mb():.0f} MB once hidden"))

        # The page looping on alert() leaves the menu and Quit working.
        harness.open_quit_question(lambda: self.tray_click(button=3), self.why)
        code = harness.answer_yes(self.program.process)
        self.assertEqual(0, code, self.why("quit answered Yes"))


if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
