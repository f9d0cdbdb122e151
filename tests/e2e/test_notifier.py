"""The notifier as its user meets it: the pop-up on a changed page, tray clicks, quitting."""
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXECUTABLE = None
TWIPS_PER_PIXEL = 15  # the virtual desktop runs at 96 dpi
WINDOW_TWIPS = (7800, 5160)
BLUE = (0x20, 0x60, 0xE0)
ORANGE = (0xE0, 0x80, 0x20)


def page(rgb):
    colour = "#%02x%02x%02x" % rgb
    return (f'<html><body style="margin:0;background:{colour}">'
            f'<p style="margin:150px 0 0 80px">Info</p></body></html>')


class NotifierTest(unittest.TestCase):
    def setUp(self):
        # An icon registered before the tray host is ready would not land in its panel.
        self.assertTrue(harness.wait_for(lambda: '("panel" "trayer")' in harness.x_tree(), 20),
                        "no tray host on this display")
        self.server = harness.Server({"/info": (200, page(BLUE))}, validators=True)
        self.program = None
        self.window = None  # X id of the notification window once seen
        self.last_tray_click = 0.0

    def tearDown(self):
        if self.program:
            self.program.cleanup()
        self.server.close()

    def launch(self):
        self.program = harness.Program(
            EXECUTABLE,
            param_ini=f"[Param]\r\nPage={self.server.url('/info')}\r\nLangue=en\r\n"
                      "DelaiInfo=0\r\n").start()
        return self.program

    def why(self, text):
        started = self.program.started
        requests = "\n".join(
            f"{r[0] - started:7.2f}s {r[3]} {r[2].get('User-Agent', '')[:12]}"
            for r in self.server.requests_for("/info"))
        window = ""
        if self.window:
            window = harness.window_state(self.window)
        tray = "\n".join(line for line in harness.x_tree().splitlines()
                         if "trayer" in line or "Tavorin" in line)
        return (f"{text}\n--- notification window ---\n{window}\n--- tray ---\n{tray}\n"
                f"--- requests ---\n{requests}\n"
                f"--- program output ---\n{self.program.output()}")

    def polls(self):
        """The program's own requests; the browser loading the page sends others."""
        return [r for r in self.server.requests_for("/info")
                if r[2].get("User-Agent", "").startswith("Tavorin/")]

    def shown(self):
        self.window, info = harness.framed_window("Tavorin", self.window,
                                                  lambda info: info["width"] > 300)
        return info

    def wait_shown(self, timeout=30):
        info = harness.wait_for(self.shown, timeout, step=0.1)
        self.assertTrue(info, self.why("notification window not shown"))
        return info

    def wait_hidden(self, timeout=10):
        self.assertTrue(harness.wait_for(lambda: not self.shown(), timeout, step=0.1),
                        self.why("notification window still shown"))

    def assert_at_corner(self, info):
        screen_w, screen_h = harness.screen_size()
        width, height = WINDOW_TWIPS
        left = (screen_w * TWIPS_PER_PIXEL - width + 500) / TWIPS_PER_PIXEL
        top = (screen_h * TWIPS_PER_PIXEL - height - 800) / TWIPS_PER_PIXEL
        self.assertEqual((width // TWIPS_PER_PIXEL, height // TWIPS_PER_PIXEL),
                         (info["width"], info["height"]))
        self.assertLessEqual(abs(info["x"] - left), 1, f"left {info['x']}, expected {left:.1f}")
        self.assertLessEqual(abs(info["y"] - top), 1, f"top {info['y']}, expected {top:.1f}")

    def wait_drawn(self, rgb, timeout=30):
        """The page's background fills the window's part on screen (past its button row)."""
        share = 0.0

        def drawn():
            nonlocal share
            info = self.shown()
            if not info:
                return False
            picture = harness.screenshot(info["x"], info["y"], info["width"], info["height"])
            share = harness.colour_share(picture, rgb, inset=(3, 30, 3, 3))
            return share > 0.9

        self.assertTrue(harness.wait_for(drawn, timeout, step=0.5),
                        self.why(f"page colour {rgb} covers only {share:.0%} of the window"))

    def tray_icon(self):
        center = harness.wait_for(lambda: harness.tray_icon_center("Tavorin"), 20)
        self.assertTrue(center, self.why("no tray icon"))
        return center

    def left_click_tray(self):
        # Two presses closer than the double-click interval would count as a double click.
        time.sleep(max(0.0, self.last_tray_click + 0.8 - time.monotonic()))
        harness.click(*self.tray_icon())
        self.last_tray_click = time.monotonic()
        harness.move_pointer(200, 200)  # no tooltip over the window

    def open_quit_question(self):
        """Right click on the icon, Quit in the menu: returns the question's window id."""
        return harness.open_quit_question(
            lambda: harness.click(*self.tray_icon(), button=3), self.why, exclude={self.window})

    def test_changed_page_pops_up_at_corner_and_tray_click_toggles_it(self):
        self.launch()
        self.assertTrue(harness.wait_for(self.polls, 30), self.why("no request"))
        self.assert_at_corner(self.wait_shown())
        self.wait_drawn(BLUE)

        # Unchanged page: hidden it stays, and the polls cost a 304 each.
        self.left_click_tray()
        self.wait_hidden()
        hidden_from = len(self.polls())
        deadline = time.monotonic() + 35
        popped = False
        while time.monotonic() < deadline and len(self.polls()) < hidden_from + 2:
            popped = popped or bool(self.shown())
            time.sleep(0.2)
        self.assertGreaterEqual(len(self.polls()), hidden_from + 2, self.why("polling stopped"))
        settle = time.monotonic() + 2  # the last answer being read
        while time.monotonic() < settle:
            popped = popped or bool(self.shown())
            time.sleep(0.2)
        self.assertFalse(popped, self.why("an unchanged page brought the window up"))
        later = self.polls()[hidden_from:]
        self.assertTrue(all(r[2].get("If-None-Match") for r in later), later)
        self.assertEqual([304] * len(later), [r[3] for r in later])

        # Changed page: up again at the corner, showing the new page.
        self.server.set_page("/info", 200, page(ORANGE))
        changed_at = len(self.polls())
        self.assert_at_corner(self.wait_shown(timeout=30))
        self.assertGreater(len(self.polls()), changed_at)
        self.wait_drawn(ORANGE)

        # Tray left click hides, the next one shows it at the corner with its page back.
        self.left_click_tray()
        self.wait_hidden()
        self.left_click_tray()
        self.assert_at_corner(self.wait_shown(timeout=10))
        self.wait_drawn(ORANGE)

    def test_quit_from_tray_menu_answered_yes_ends_cleanly(self):
        self.launch()
        self.wait_shown()
        helpers = harness.wait_for(self.program.descendants, 20)
        self.assertTrue(helpers, self.why("the shown page should run in browser helpers"))
        self.open_quit_question()
        code = harness.answer_yes(self.program.process)
        self.assertEqual(0, code, self.why("quit answered Yes"))
        self.assertFalse(harness.tray_holds("Tavorin"), "tray icon left behind")
        harness.wait_for(lambda: not harness.alive(helpers), 10)
        self.assertEqual([], harness.alive(helpers), "browser helpers outlived the program")

    def test_quit_answered_no_keeps_it_running_with_its_icon(self):
        self.launch()
        self.wait_shown()
        box = self.open_quit_question()
        harness.keys("Return")  # No is the default button
        self.assertTrue(harness.wait_for(lambda: not (harness.window_info(box) or {}).get(
            "viewable"), 10), self.why("quit question still open"))
        asked_at = len(self.polls())
        self.assertTrue(harness.wait_for(lambda: len(self.polls()) > asked_at, 25),
                        self.why("polling stopped after the quit question"))
        self.assertIsNone(self.program.process.poll(), self.why("quit answered No"))
        self.assertTrue(harness.tray_holds("Tavorin"), "tray icon gone after No")


    def test_pop_up_leaves_the_keyboard_with_the_program_in_use(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        typed_file = os.path.join(folder.name, "typed")
        xterm = subprocess.Popen(["xterm", "-name", "typist", "-e", "sh", "-c",
                                  f"cat > '{typed_file}'"], stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (xterm.kill(), xterm.wait()))
        found = harness.wait_for(lambda: list(harness.visible_windows("typist")), 20)
        self.assertTrue(found and harness.activate(found[0]), "xterm did not take the keyboard")
        self.launch()
        typed = harness.type_through(self.shown)
        self.assertTrue(typed, self.why("notification window not shown"))
        self.assertEqual(str(found[0]), harness.active_window(), self.why("it took the keyboard"))
        harness.keys("Return")
        self.assertTrue(harness.wait_for(lambda: os.path.getsize(typed_file) > len(typed), 5))
        with open(typed_file) as f:
            self.assertEqual(typed + "\n", f.read())
        # A click into it is the user's choice: then it has the keyboard.
        info = self.shown()
        harness.click(info["x"] + info["width"] // 2, info["y"] + info["height"] // 2)
        self.assertTrue(harness.wait_for(lambda: harness.active_window() == str(self.window), 5),
                        self.why("a click did not activate the window"))

if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
