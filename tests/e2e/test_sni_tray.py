"""The tray of most desktops: a StatusNotifierItem host (the Xfce panel's status tray) on a
private D-Bus session and a private display without an X11 tray."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXECUTABLE = None
SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
WATCHER = "org.kde.StatusNotifierWatcher"
PANEL = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=8;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="size" type="uint" value="26"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
"""


class SniTrayTest(unittest.TestCase):
    def setUp(self):
        if not shutil.which("xfce4-panel") or not shutil.which("dbus-daemon"):
            self.skipTest("xfce4-panel or dbus-daemon is not installed")
        self.dir = tempfile.mkdtemp(prefix="tavorin-sni-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.desktop = subprocess.Popen(
            ["bash", "-c", f'source "{SCRIPTS}/desktop.sh"; desktop_start 1280x800 notray;'
                           ' echo "$DISPLAY"; read -r _'],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(self.stop_desktop)
        display = self.desktop.stdout.readline().strip()
        self.assertTrue(display.startswith(":"), "no private display")
        old_display = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = display
        self.addCleanup(lambda: os.environ.__setitem__("DISPLAY", old_display)
                        if old_display else os.environ.pop("DISPLAY", None))
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(self.stop_bus)
        address = self.bus.stdout.readline().strip()
        config_dirs = os.path.join(self.dir, "xdg")
        os.makedirs(os.path.join(config_dirs, "xfce4", "panel"))
        with open(os.path.join(config_dirs, "xfce4", "panel", "default.xml"), "w") as f:
            f.write(PANEL)
        self.env = {"DISPLAY": display, "DBUS_SESSION_BUS_ADDRESS": address}
        panel_env = dict(os.environ, **self.env, XDG_CONFIG_DIRS=config_dirs,
                         XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                         XFCE_PANEL_MIGRATE_DEFAULT="1", NO_AT_BRIDGE="1")
        self.panel = subprocess.Popen(["xfce4-panel", "--disable-wm-check"], env=panel_env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop_panel)
        self.assertTrue(harness.wait_for(lambda: "true" in self.watcher("IsStatusNotifierHostRegistered"),
                                         30, 0.3), "the panel registered no status tray host")
        self.server = harness.Server({"/info": (500, "<html><body>down</body></html>")})
        self.addCleanup(self.server.close)

    def stop_panel(self):
        self.panel.terminate()
        self.panel.wait(10)

    def stop_bus(self):
        activated = harness.process_tree(self.bus.pid)  # xfconfd
        self.bus.terminate()
        self.bus.wait(10)
        self.bus.stdout.close()
        for pid in harness.alive(activated):
            os.kill(pid, 15)

    def stop_desktop(self):
        self.desktop.stdin.close()
        self.desktop.wait(10)
        self.desktop.stdout.close()

    def gdbus(self, *args):
        env = dict(os.environ, **self.env)
        return subprocess.run(["gdbus", "call", "--session", *args], env=env, capture_output=True,
                              text=True, timeout=10).stdout

    def watcher(self, prop):
        return self.gdbus("--dest", WATCHER, "--object-path", "/StatusNotifierWatcher", "--method",
                          "org.freedesktop.DBus.Properties.Get", WATCHER, prop)

    def item_call(self, service, path, method, *args):
        return self.gdbus("--dest", service, "--object-path", path, "--method", method, "--", *args)

    def shown(self):
        return bool(harness.visible_windows("Tavorin"))

    def icon_in_panel(self):
        """Middle of the icon's blue in the panel's row (the panel draws it; no window of ours)."""
        panel = harness.visible_windows("xfce4-panel")
        self.assertTrue(panel, "panel window not found")
        g = max(panel.values(), key=lambda w: w["width"])
        w, h, pixels = harness.screenshot(g["x"], g["y"], g["width"], g["height"])
        row = h // 2
        blue = [col for col in range(w)
                if tuple(pixels[(row * w + col) * 3:(row * w + col) * 3 + 3]) == (31, 95, 191)]
        self.assertTrue(blue, "the icon is not drawn in the panel")
        return g["x"] + (blue[0] + blue[-1]) // 2, g["y"] + row

    def test_icon_menu_and_clicks_through_the_host(self):
        program = harness.Program(EXECUTABLE, param_ini=f"[Param]\nPage={self.server.url('/info')}\n")
        self.addCleanup(program.cleanup)
        program.start(env_changes=self.env)
        items = harness.wait_for(lambda: re.findall(r"'([^']+)'", self.watcher(
            "RegisteredStatusNotifierItems")), 30, 0.3)
        self.assertTrue(items, "no StatusNotifierItem registered\n" + program.output())
        service, _, path = items[0].partition("/")
        path = "/" + path
        prop = lambda name: self.item_call(service, path, "org.freedesktop.DBus.Properties.Get",
                                           "org.kde.StatusNotifierItem", name)
        self.assertIn("tv.example.com", prop("ToolTip"))
        self.assertFalse(harness.visible_windows("Tavorin"), "window shown before any click")

        # The host's left click: shows, then hides; two at once (a double click) end shown.
        activate = lambda: self.item_call(service, path, "org.kde.StatusNotifierItem.Activate", "0", "0")
        for expected in (True, False):
            activate()
            self.assertTrue(harness.wait_for(lambda: self.shown() == expected, 10),
                            f"left click should leave the window shown={expected}")
            time.sleep(0.8)
        activate()
        activate()
        time.sleep(1)
        self.assertTrue(self.shown(), "a double click on a hidden icon must end shown")
        time.sleep(0.8)

        # The host shows our menu on a right click: it is offered with mnuMenu's captions,
        # and a choice made there runs the command.
        menu = re.search(r"objectpath '([^']+)'", prop("Menu")).group(1)
        layout = self.item_call(service, menu, "com.canonical.dbusmenu.GetLayout", "0", "-1", "[]")
        for caption in ("Show", "Minimize", "Create your Tavorin", "Quit", "Unistall"):
            self.assertIn(caption, layout.replace("_", ""))
        minimize = re.search(r"\((\d+), \{[^}]*'label': <'_?Minimize'>", layout)
        self.assertTrue(minimize, layout)
        self.item_call(service, menu, "com.canonical.dbusmenu.Event", minimize.group(1),
                       "clicked", "<0>", "0")
        self.assertTrue(harness.wait_for(lambda: not self.shown(), 10),
                        "the menu's Minimize did not hide the window")

        # A real right click on the icon in the panel opens that same menu: its first item
        # (Show) brings the window back.
        x, y = self.icon_in_panel()
        harness.click(x, y, 3)
        time.sleep(1)
        harness.keys("Down", "Return")
        self.assertTrue(harness.wait_for(self.shown, 10),
                        "the host's right-click menu did not offer Show first")
        program.stop()
        self.assertEqual(0, program.process.returncode)


if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
