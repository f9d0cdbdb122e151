"""Tavorin.exe under Wine on the virtual desktop: first request, tray icon, the window at its
corner, tray clicks, the quit question, the configuration window and a generated copy, and
the registry fallback. Wine here renders no pages, so nothing looks at the page's pixels.
Usage: test_windows.py build-windows/Tavorin.exe   (WINEPREFIX, TAVORIN_WINE and DISPLAY set)"""
import os
import shutil
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXECUTABLE = None
WINE = os.environ.get("TAVORIN_WINE", "wine")
CLASS = "tavorin.exe"  # Wine names the X windows of a process after its executable
TRAY = "explorer.exe"  # Wine's explorer owns the icons it docks into the tray host
TWIPS_PER_PIXEL = 15  # the virtual desktop runs at 96 dpi
WINDOW_TWIPS = (7800, 5160)
USER_KEY = r"HKCU\SoftWare\Orbelia\Quorvellis\Settings"


def client_point(window, left, top, width, height):
    """Screen position of the middle of a control given in twips within the client area."""
    return (window["x"] + (left + width // 2) // TWIPS_PER_PIXEL,
            window["y"] + (top + height // 2) // TWIPS_PER_PIXEL)


def on_tab(left, top, width, height):
    # Controls on a tab are placed from the tab control's corner at 120, 120.
    return (120 + left, 120 + top, width, height)


def wine(*args):
    return subprocess.run([WINE, *args], capture_output=True, text=True, timeout=60)


def prefix_path(windows_path):
    """Where a C: path of the Wine prefix lies on this machine."""
    drive, rest = windows_path.split(":", 1)
    assert drive.upper() == "C"
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *rest.strip("\\").split("\\"))


class WineTest(unittest.TestCase):
    def setUp(self):
        self.assertTrue(harness.wait_for(lambda: '("panel" "trayer")' in harness.x_tree(), 20),
                        "no tray host on this display")
        self.server = harness.Server({"/info": (200, "<html><body>info</body></html>"),
                                      "/user": (200, "<html><body>user</body></html>"),
                                      "/copy": (200, "<html><body>copy</body></html>")})
        self.program = None
        self.window = None
        self.last_tray_click = 0.0

    def tearDown(self):
        if self.program:
            self.program.cleanup()
        # Wine's explorer lets a dead program's icon go once it notices: wait for that.
        harness.wait_for(lambda: not harness.tray_holds(TRAY), 10)
        self.server.close()

    def launch(self, param_ini, icon="Info.ico"):
        self.program = harness.Program(EXECUTABLE, param_ini=param_ini, icon=icon,
                                       name="Tavorin.exe", launcher=[WINE]).start()
        return self.program

    def why(self, text):
        requests = "\n".join(f"{r[0] - self.program.started:7.2f}s {r[1]} {r[3]} "
                             f"{r[2].get('User-Agent', '')}" for r in self.server.requests)
        tray = "\n".join(harness.tray_lines())
        window = harness.window_state(self.window) if self.window else ""
        return (f"{text}\n--- window ---\n{window}\n--- tray ---\n{tray}\n"
                f"--- requests ---\n{requests}\n--- output ---\n{self.program.output()}")

    def shown(self):
        # Wine maps a window that shows without taking the keyboard as override-redirect.
        width = WINDOW_TWIPS[0] // TWIPS_PER_PIXEL
        for wid, info in harness.visible_windows(CLASS).items():
            if info["width"] == width and info["height"] > 300:
                self.window = wid
                return info
        return None

    def wait_shown(self, timeout=30):
        info = harness.wait_for(self.shown, timeout, step=0.1)
        self.assertTrue(info, self.why("notification window not shown"))
        return info

    def assert_at_corner(self, info):
        screen_w, screen_h = harness.screen_size()
        width, height = WINDOW_TWIPS
        left = (screen_w * TWIPS_PER_PIXEL - width + 500) / TWIPS_PER_PIXEL
        top = (screen_h * TWIPS_PER_PIXEL - height - 800) / TWIPS_PER_PIXEL
        self.assertEqual((width // TWIPS_PER_PIXEL, height // TWIPS_PER_PIXEL),
                         (info["width"], info["height"]), self.why("designed size"))
        self.assertLessEqual(abs(info["x"] - left), 1, f"left {info['x']}, expected {left:.1f}")
        self.assertLessEqual(abs(info["y"] - top), 1, f"top {info['y']}, expected {top:.1f}")

    def tray_icon(self):
        center = harness.wait_for(lambda: harness.tray_icon_center(TRAY), 20)
        self.assertTrue(center, self.why("no tray icon in the tray host"))
        return center

    def click_tray(self, button=1, until=None):
        """A click on the icon, again while until() stays false: Wine's icon now and then
        takes a click as its own activation and passes nothing on, which changes nothing."""
        for _ in range(3):
            # Two presses closer than the double-click interval would be a double click.
            time.sleep(max(0.0, self.last_tray_click + 0.8 - time.monotonic()))
            center = self.tray_icon()
            harness.move_pointer(*center)
            time.sleep(0.3)  # Wine's icon takes a click only once the pointer is on it
            harness._run("xdotool", "click", str(button))
            self.last_tray_click = time.monotonic()
            harness.move_pointer(200, 200)
            if until is None:
                return None
            done = harness.wait_for(until, 4, step=0.1)
            if done:
                return done
        self.fail(self.why(f"no effect of a click with button {button} on the tray icon"))

    def menu_items(self, wid, info):
        """Screen centres of the menu's items, top to bottom: bands of rows with text in them
        (separators are too light to count)."""
        picture = harness.screenshot(info["x"], info["y"], info["width"], info["height"])
        width, height, pixels = picture
        rows = []
        for row in range(3, height - 3):
            line = pixels[row * width * 3:(row + 1) * width * 3]
            rows.append(any(max(line[c * 3:c * 3 + 3]) < 100 for c in range(4, width - 4)))
        bands = []  # [first, last] rows; a gap of a few rows (a descender) stays inside
        for index, dark in enumerate(rows):
            if dark and bands and index - bands[-1][1] <= 3:
                bands[-1][1] = index
            elif dark:
                bands.append([index, index])
        return [(info["x"] + width // 2, info["y"] + 3 + (first + last) // 2)
                for first, last in bands]

    def menu_command(self, item):
        """Right click on the icon, then a click on the menu's item of that index (separators
        not counted: 0 show, 1 minimize, 2 configure, 3 quit, 4 uninstall)."""
        before = set(harness.visible_windows(CLASS))
        menu = self.click_tray(3, until=lambda: [
            (wid, info) for wid, info in harness.visible_windows(CLASS).items()
            if wid not in before and info["override"] and info["height"] > 50])
        time.sleep(0.3)  # drawn
        items = self.menu_items(*menu[0])
        self.assertEqual(5, len(items), self.why(f"menu items found at {items}"))
        harness.move_pointer(*items[item])
        time.sleep(0.2)
        harness.click(*items[item])

    def quit_question(self):
        self.menu_command(3)
        box = harness.wait_for(lambda: [
            wid for wid, info in harness.visible_windows(CLASS).items()
            if info["title"] == "Quorvellis" and not info["override"]], 10)
        self.assertTrue(box, self.why("no quit question"))
        harness.activate(box[0])
        return box[0]

    def polls(self, path="/info"):
        return [r for r in self.server.requests_for(path)
                if r[2].get("User-Agent", "").startswith("Tavorin/")]

    def test_notifier_from_first_request_to_quit(self):
        self.launch(f"[Param]\r\nPage={self.server.url('/info')}\r\nLangue=en\r\n"
                    "DelaiInfo=0\r\n")
        first = harness.wait_for(lambda: self.server.requests_for("/info"), 30)
        self.assertTrue(first, self.why("no request reached the server"))
        self.assertRegex(first[0][2].get("User-Agent", ""), r"^Tavorin/\d+\.\d+\.\d+$")
        self.tray_icon()
        # The first download shows the window, placed at its corner on activation.
        self.assert_at_corner(self.wait_shown())

        self.click_tray(until=lambda: not self.shown())
        self.click_tray(until=self.shown)
        self.assert_at_corner(self.wait_shown())

        box = self.quit_question()
        harness.keys("Return")  # No is the default button
        self.assertTrue(harness.wait_for(
            lambda: not (harness.window_info(box) or {}).get("viewable"), 10),
            self.why("quit question still open"))
        asked_at = len(self.polls())
        self.assertTrue(harness.wait_for(lambda: len(self.polls()) > asked_at, 25),
                        self.why("polling stopped after the quit question"))
        self.assertIsNone(self.program.process.poll(), self.why("quit answered No"))
        self.assertTrue(harness.tray_holds(TRAY), self.why("icon gone after No"))

        self.quit_question()
        code = harness.answer_yes(self.program.process)
        self.assertEqual(0, code, self.why("quit answered Yes"))
        self.assertTrue(harness.wait_for(lambda: not harness.tray_holds(TRAY), 5),
                        self.why("tray icon left behind"))

    def test_pop_up_leaves_the_keyboard_with_the_program_in_use(self):
        self.launch(f"[Param]\r\nPage={self.server.url('/info')}\r\nLangue=en\r\n"
                    "DelaiInfo=0\r\n")
        self.wait_shown()
        self.click_tray(until=lambda: not self.shown())
        notepad = subprocess.Popen([WINE, "notepad"], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (notepad.kill(), notepad.wait()))
        found = harness.wait_for(lambda: list(harness.visible_windows("notepad.exe")), 30)
        self.assertTrue(found and harness.activate(found[0]), "Notepad did not take the keyboard")
        # The page changes while the user types in Notepad.
        self.server.set_page("/info", 200, "<html><body>changed</body></html>")
        typed = harness.type_through(self.shown)
        self.assertTrue(typed, self.why("notification window not shown"))
        self.assertEqual(str(found[0]), harness.active_window(), self.why("it took the keyboard"))
        probe = os.path.join(os.path.dirname(EXECUTABLE), "tests", "win_probe.exe")
        notepad_text = lambda: wine(probe, "Untitled - Notepad", "edit").stdout.strip()
        self.assertEqual(typed.strip(), notepad_text())
        # A click into it is the user's choice: then it has the keyboard, Notepad no more.
        info = self.shown()
        harness.click(info["x"] + info["width"] // 2, info["y"] + info["height"] // 2)
        time.sleep(0.5)
        harness.keys("m", "o", "r", "e")
        self.assertEqual(typed.strip(), notepad_text(), self.why("a click did not activate it"))

    def test_window_at_its_corner_at_every_scaling(self):
        scaling = ["reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                   "REG_DWORD", "/f", "/d"]
        self.addCleanup(wine, *scaling, "96")
        screen_w, screen_h = harness.screen_size()
        for dpi in (120, 144, 192):
            wine(*scaling, str(dpi))
            self.launch(f"[Param]\r\nPage={self.server.url('/info')}\r\nLangue=en\r\n")
            px = lambda twips: round(twips * dpi / 1440)  # noqa: E731
            info = harness.wait_for(lambda: next(
                (i for i in harness.visible_windows(CLASS).values() if i["width"] == px(7800)),
                None), 30)
            self.assertTrue(info, self.why(f"no window at {dpi} dpi"))
            self.assertLessEqual(abs(info["x"] - screen_w + px(7800 - 500)), 1, dpi)
            self.assertLessEqual(abs(info["y"] - screen_h + px(5160 + 800)), 1, dpi)
            self.program.cleanup()

    def test_close_requests_from_outside_ask_once_and_no_keeps_the_icon(self):
        """taskkill without /F asks every top-level window to close, the question's box too."""
        self.launch(f"[Param]\r\nPage={self.server.url('/info')}\r\nLangue=en\r\n")
        self.wait_shown()  # by the first download
        boxes = lambda: [w for w, i in harness.visible_windows(CLASS).items()  # noqa: E731
                         if i["title"] == "Quorvellis"]
        kill = lambda: self.addCleanup(subprocess.Popen(  # noqa: E731
            [WINE, "taskkill", "/IM", "Tavorin.exe"], stdout=subprocess.DEVNULL).wait, 20)
        kill()
        self.assertTrue(harness.wait_for(boxes, 15), self.why("no quit question"))
        kill()  # again while asked: no second question, and not taken for a Yes
        time.sleep(2)
        self.assertLessEqual(len(boxes()), 1, self.why("asked twice"))
        self.assertIsNone(self.program.process.poll(), self.why("taken for a Yes"))
        for box in boxes():
            harness.activate(box)
            harness.keys("Return")  # No, the default button
        self.click_tray(until=lambda: not self.shown())  # the icon is there and answers
        kill()
        self.assertTrue(harness.wait_for(boxes, 15), self.why("no quit question"))
        harness.activate(boxes()[0])
        self.assertEqual(0, harness.answer_yes(self.program.process), self.why("Yes"))

    def builder_window(self):
        for wid, info in harness.visible_windows(CLASS).items():
            if info["title"] == "Tavorin" and info["width"] > 600:
                return wid, info
        return None

    def type_into(self, window, rect, text):
        harness.click(*client_point(window, *rect))
        harness.keys("ctrl+a")
        harness._run("xdotool", "type", "--delay", "20", text)

    def wine_processes(self, name):
        found = []
        for entry in os.listdir("/proc"):
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    if name.encode() in f.read():
                        found.append(int(entry))
            except OSError:
                pass
        return found

    def test_configuration_window_makes_a_copy_that_runs(self):
        folder = prefix_path(r"C:\Tavorin\Newsy")
        self.addCleanup(shutil.rmtree, folder, True)
        self.launch(f"[Param]\r\nPage={self.server.url('/info')}\r\nLangue=en\r\n")
        self.tray_icon()
        self.menu_command(2)
        found = harness.wait_for(self.builder_window, 20)
        self.assertTrue(found, self.why("configuration window did not open"))
        wid, window = found
        probe = os.path.join(os.path.dirname(EXECUTABLE), "tests", "win_probe.exe")
        self.assertEqual("tabs=3", wine(probe, "Tavorin").stdout.strip())
        harness.activate(wid)

        self.type_into(window, on_tab(2160, 600, 2055, 285), "Newsy")
        self.type_into(window, on_tab(2160, 960, 6255, 285), self.server.url("/copy"))
        # The creation tab (the second of three equal tabs on the strip), then its button.
        tab_width = (10125 // TWIPS_PER_PIXEL - 8) // 3
        harness.click(window["x"] + 8 + 2 + tab_width + tab_width // 2, window["y"] + 8 + 10)
        time.sleep(0.5)
        harness.click(*client_point(window, *on_tab(7680, 1800, 2175, 495)))
        question = harness.wait_for(lambda: [
            w for w, i in harness.visible_windows(CLASS).items()
            if i["title"] == "Quorvellis" and not i["override"]], 15)
        self.assertTrue(question, self.why("no question whether to start the copy"))
        harness.activate(question[0])
        harness.keys("Return")  # Yes

        self.assertTrue(harness.wait_for(lambda: self.polls("/copy"), 30),
                        self.why("the copy did not request its own page"))
        self.addCleanup(lambda: [os.kill(pid, 9) for pid in self.wine_processes("Newsy.exe")])
        self.assertEqual(sorted(["Newsy.exe", "Info.ico", "Param.ini"]), sorted(os.listdir(folder)))
        with open(os.path.join(folder, "Param.ini"), "rb") as f:
            self.assertEqual(f"[Param]\r\nPage={self.server.url('/copy')}\r\nLangue=en\r\n"
                             "DelaiInfo=15\r\n".encode(), f.read())
        with open(os.path.join(folder, "Newsy.exe"), "rb") as a, open(EXECUTABLE, "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_registry_value_supplies_the_page(self):
        added = wine("reg", "add", USER_KEY, "/v", "urlInfo", "/d", self.server.url("/user"),
                     "/f")
        self.addCleanup(wine, "reg", "delete", USER_KEY, "/f")
        self.assertEqual(0, added.returncode, added.stderr)
        self.launch("[Param]\r\nLangue=en\r\n", icon="broken.ico")
        self.assertTrue(harness.wait_for(lambda: self.polls("/user"), 30),
                        self.why("the registry's page address was not requested"))
        self.tray_icon()  # an undecodable Info.ico leaves the stored icon in place

    def test_the_users_proxy_is_used_and_named_when_down(self):
        # Wine keeps the user's proxy where the browser control's settings are.
        key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
        self.addCleanup(wine, "reg", "delete", key, "/v", "DefaultConnectionSettings", "/f")
        down = self.enterContext(socket.socket())  # bound, never listening: refuses connections
        down.bind(("127.0.0.1", 0))
        proxy = b"127.0.0.1:%d" % down.getsockname()[1]  # after a header: magic, version, flags
        blob = bytes([0x46, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, len(proxy), 0, 0, 0]) + proxy + bytes(40)
        wine("reg", "add", key, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY", "/d", blob.hex(),
             "/f")
        self.launch("[Param]\r\nPage=http://tavorin.invalid/info\r\nLangue=en\r\n")
        named = f"the proxy {proxy.decode()} failed, the page's server was not reached: connection refused"
        self.assertTrue(harness.wait_for(lambda: named in self.program.output(), 30), self.why(named))

if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
