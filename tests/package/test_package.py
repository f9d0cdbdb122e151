"""The Debian package: built with CPack, its contents and metadata, lintian, and (as root, as
in CI) installed, started from the menu command and the autostart entry, and removed by its
own uninstaller leaving nothing behind."""
import glob
import os
import re
import shlex
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402

BUILD = None
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
PAGE = "<html><body><h1>Installed</h1></body></html>"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
EXPECTED = {
    "./opt/tavorin/Tavorin": "-rwxr-xr-x",
    "./opt/tavorin/tavorin-viewer": "-rwxr-xr-x",
    "./opt/tavorin/uninstall": "-rwxr-xr-x",
    "./usr/bin/tavorin": "lrwxrwxrwx",
    "./usr/share/applications/tavorin.desktop": "-rw-r--r--",
    "./etc/xdg/autostart/tavorin.desktop": "-rw-r--r--",
    "./usr/share/metainfo/com.example.tavorin.metainfo.xml": "-rw-r--r--",
    "./usr/share/doc/tavorin/copyright": "-rw-r--r--",
    "./usr/share/doc/tavorin/changelog.gz": "-rw-r--r--",
    "./usr/share/man/man1/tavorin.1.gz": "-rw-r--r--",
    **{f"./usr/share/icons/hicolor/{s}x{s}/apps/tavorin.png": "-rw-r--r--" for s in ICON_SIZES},
}


def run(*args, **kwargs):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=300, **kwargs)


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for old in glob.glob(os.path.join(BUILD, "tavorin_*_amd64.deb")):
            os.remove(old)
        built = run("cpack", "-G", "DEB", cwd=BUILD)
        assert built.returncode == 0, built.stdout + built.stderr
        cls.deb = glob.glob(os.path.join(BUILD, "tavorin_*_amd64.deb"))[0]

    def field(self, name):
        return run("dpkg-deb", "-f", self.deb, name).stdout.strip()

    def test_contents_and_metadata(self):
        self.assertRegex(os.path.basename(self.deb), r"^tavorin_\d+\.\d+\.\d+_amd64\.deb$")
        listing = run("dpkg-deb", "-c", self.deb).stdout.splitlines()
        entries = {}
        for line in listing:
            parts = line.split()
            self.assertEqual("root/root", parts[1], line)
            entries[parts[5]] = (parts[0], parts[7] if len(parts) > 7 else None)
        for path, mode in EXPECTED.items():
            self.assertIn(path, entries)
            self.assertEqual(mode, entries[path][0], path)
        self.assertEqual("/opt/tavorin/Tavorin", entries["./usr/bin/tavorin"][1])

        self.assertEqual("tavorin", self.field("Package"))
        self.assertEqual("amd64", self.field("Architecture"))
        self.assertEqual("net", self.field("Section"))
        # Depends is dpkg-shlibdeps' answer, and the Create tab lists the same packages.
        depends = [re.sub(r"\s*\(.*\)", "", d).strip() for d in self.field("Depends").split(",")]
        self.assertIn("libqt6webenginewidgets6", depends)
        self.assertIn("libc6", depends)
        with open(os.path.join(BUILD, "generated", "debian_packages.inc")) as f:
            listed = re.findall(r'"([^"]+)"', f.read())
        self.assertEqual(sorted(depends), sorted(listed))

        with tempfile_dir() as root:
            run("dpkg-deb", "-x", self.deb, root)
            desktop = read(root, "usr/share/applications/tavorin.desktop")
            self.assertIn("Categories=Network;", desktop)
            self.assertIn("Icon=tavorin", desktop)
            autostart = read(root, "etc/xdg/autostart/tavorin.desktop")
            self.assertRegex(autostart, r"(?m)^Exec=tavorin$")
            # Each icon is the program's own picture, scaled.
            own = subprocess.run(["convert", os.path.join(SOURCE, "resources", "window.png"),
                                  "rgba:-"], capture_output=True).stdout
            self.assertEqual(16 * 16 * 4, len(own))
            for size in ICON_SIZES:
                png = os.path.join(root, f"usr/share/icons/hicolor/{size}x{size}/apps/tavorin.png")
                self.assertEqual(f"{size}x{size}", run("identify", "-format", "%wx%h", png).stdout)
                pixels = subprocess.run(["convert", png, "-filter", "point", "-resize", "16x16",
                                         "rgba:-"], capture_output=True).stdout
                self.assertEqual(own, pixels, f"{size}x{size} is not the program's icon")
            if shutil.which("desktop-file-validate"):
                check = run("desktop-file-validate",
                            os.path.join(root, "usr/share/applications/tavorin.desktop"),
                            os.path.join(root, "etc/xdg/autostart/tavorin.desktop"))
                self.assertEqual(("", 0), (check.stdout, check.returncode))
            if shutil.which("appstreamcli"):
                check = run("appstreamcli", "validate", "--no-net", os.path.join(
                    root, "usr/share/metainfo/com.example.tavorin.metainfo.xml"))
                self.assertEqual(0, check.returncode, check.stdout)

    def test_copy_package_beside_tavorin(self):
        server = harness.Server({"/copy": (500, "down")})
        self.addCleanup(server.close)
        top = self.enterContext(harness.tempfile.TemporaryDirectory(ignore_cleanup_errors=True))
        folder, icon = os.path.join(top, "My Copy"), os.path.join(harness.DATA, "Info.ico")
        os.makedirs(folder)
        shutil.copy2(os.path.join(BUILD, "Tavorin"), os.path.join(folder, "My Copy"))
        shutil.copy2(os.path.join(BUILD, "tavorin-viewer"), folder)
        run("convert", icon, "(", icon, "-scale", "256x256", ")",  # a BMP image and a PNG one
            os.path.join(folder, "Info.ico"))
        with open(os.path.join(folder, "Param.ini"), "w") as f:
            f.write(f"[Param]\nPage={server.url('/copy')}\n")
        built = run(os.path.join(SOURCE, "scripts", "package.sh"), folder,
                    env=dict(os.environ, BUILD_DIR=BUILD))
        self.assertRegex(built.stdout, r"/my-copy_\d+\.\d+\.\d+_amd64\.deb\n$", built.stderr)  # lintian ok
        deb, root = built.stdout.split()[-1], os.path.join(top, "root")
        run("dpkg-deb", "-x", deb, root)
        menu = read(root, "usr/share/applications/my-copy.desktop")
        self.assertIn('Exec="/opt/my-copy/My Copy"\nIcon=my-copy\n', menu)
        self.assertIn('Exec="/opt/my-copy/My Copy"\n', read(root, "etc/xdg/autostart/my-copy.desktop"))
        self.assertIn("\npackage=my-copy\n", read(root, "opt/my-copy/uninstall"))
        for frame, size in ((0, 32), (1, 256)):  # each the ICO's own image of that size
            png = os.path.join(root, f"usr/share/icons/hicolor/{size}x{size}/apps/my-copy.png")
            pixels = [subprocess.check_output(["convert", image, "rgba:-"])
                      for image in (png, f"{folder}/Info.ico[{frame}]")]
            self.assertEqual((size * size * 4, pixels[1]), (len(pixels[0]), pixels[0]))
        if os.geteuid() or not os.environ.get("DISPLAY") or not run("dpkg", "-s", "tavorin").returncode:
            self.skipTest("installing needs root, the test desktop and no tavorin package")
        self.assertEqual([0, 0], [run("dpkg", "-i", package).returncode for package in (self.deb, deb)])
        self.addCleanup(lambda: run("dpkg", "--purge", "my-copy", "tavorin"))
        files = run("dpkg", "-L", "my-copy").stdout.splitlines()
        env = dict(os.environ, HOME=top, XDG_RUNTIME_DIR=top)
        command = shlex.split(re.search(r"(?m)^Exec=(.*)$", menu).group(1))
        process = subprocess.Popen(command, env=env)
        self.addCleanup(lambda: process.poll() is None and (process.kill(), process.wait()))
        self.assertTrue(harness.wait_for(lambda: server.requests_for("/copy"), 30))  # its Param.ini
        del env["DISPLAY"]  # the uninstaller says it on the terminal
        removed = run("/opt/my-copy/uninstall", env=env)
        self.assertIn("My Copy has been removed", removed.stderr)
        self.assertEqual(("", 0, 1), (run("dpkg", "--verify", "tavorin").stdout, run(
            "dpkg", "-s", "tavorin").returncode, run("dpkg", "-s", "my-copy").returncode))
        self.assertEqual([], [f for f in files if os.path.lexists(f)
                              and (not os.path.isdir(f) or "my-copy" in f)])

    def test_lintian_reports_no_error(self):
        if not shutil.which("lintian"):
            self.skipTest("lintian is not installed")
        result = run("lintian", self.deb)
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual([], errors, result.stdout)

    def test_install_start_autostart_and_uninstall(self):
        if os.geteuid() != 0:
            self.skipTest("installing needs root (CI runs as root)")
        if not os.environ.get("DISPLAY"):
            self.skipTest("needs the virtual desktop of scripts/test.sh")
        if run("dpkg-query", "-W", "-f=${Status}", "tavorin").stdout.startswith("install ok"):
            self.skipTest("a tavorin package is installed here already; left alone")
        installed = run("dpkg", "-i", self.deb)
        self.assertEqual(0, installed.returncode, installed.stdout + installed.stderr)
        self.addCleanup(lambda: run("dpkg", "--purge", "tavorin"))
        files = run("dpkg", "-L", "tavorin").stdout.split()

        server = harness.Server({"/installed": (200, PAGE)})
        self.addCleanup(server.close)
        home = harness.tempfile.mkdtemp(prefix="tavorin-home-")
        self.addCleanup(shutil.rmtree, home, True)
        os.makedirs(os.path.join(home, ".config", "Orbelia"))
        with open(os.path.join(home, ".config", "Orbelia", "Quorvellis.conf"), "w") as f:
            f.write(f"[Settings]\nurlInfo={server.url('/installed')}\n")
        env = dict(os.environ, HOME=home, QTWEBENGINE_DISABLE_SANDBOX="1", XDG_RUNTIME_DIR=home)
        env.pop("XDG_CONFIG_HOME", None)

        with open("/etc/xdg/autostart/tavorin.desktop") as f:
            exec_line = re.search(r"(?m)^Exec=(.*)$", f.read()).group(1)
        for started_by, command in (("menu", ["tavorin"]), ("autostart", shlex.split(exec_line))):
            count = len(server.requests_for("/installed"))
            log = open(os.path.join(home, "program.log"), "ab")
            self.addCleanup(log.close)
            process = subprocess.Popen(command, env=env, cwd="/", stdin=subprocess.DEVNULL,
                                       stdout=log, stderr=subprocess.STDOUT)
            self.addCleanup(lambda p=process: p.poll() is None and (p.kill(), p.wait()))
            self.assertTrue(harness.wait_for(
                lambda: len(server.requests_for("/installed")) > count, 30),
                f"{started_by}: the installed program did not poll")
            # The window class is named after the command that started it, or after the
            # program when that one ignores its command line.
            instance = harness.wait_for(lambda: next(
                (name for name in ("tavorin", "Tavorin") if harness.tray_holds(name)), None), 15)
            self.assertTrue(instance, f"{started_by}: no tray icon")
            # The changed page is shown by the program's viewer, installed beside it.
            self.assertTrue(harness.wait_for(
                lambda: "/opt/tavorin/tavorin-viewer" in viewers(), 30), f"{started_by}: no viewer")
            if started_by == "menu":
                process.terminate()
                process.wait(15)
                self.assertTrue(harness.wait_for(lambda: not harness.tray_holds(instance), 10))

        # Uninstall from the tray menu of the program the autostart entry started: the
        # question, then the uninstaller, which as root needs no rights and says it is done.
        icon = harness.tray_icon_center(instance)
        if not icon:
            with open(os.path.join(home, "program.log"), errors="replace") as f:
                self.fail(f"no tray icon to click (program ended: {process.poll()})\n{f.read()}")
        harness.click(*icon, button=3)
        time.sleep(1)
        harness.move_pointer(10, 10)
        harness.keys("Down", "Down", "Down", "Down", "Down", "Return")
        box = harness.wait_for(lambda: [
            wid for wid, info in harness.visible_windows(instance).items()
            if not info["override"] and info["title"] == "Quorvellis"], 10)
        self.assertTrue(box, "no uninstall question")
        harness.activate(box[0])
        harness.keys("y")
        self.assertEqual(0, process.wait(20), "the program did not end for the uninstaller")
        message = harness.wait_for(lambda: harness.processes_named("xmessage"), 120, 0.5)
        self.assertTrue(message, "the uninstaller said nothing")
        with open(f"/proc/{min(message)}/cmdline") as f:
            self.assertIn("has been removed", f.read())
        # The process can be there before its window is mapped: answer it until it ends.
        def answer():
            for wid in harness.visible_windows("xmessage"):
                harness.activate(wid)
                harness.keys("Return")
            return not harness.processes_named("xmessage")
        self.assertTrue(harness.wait_for(answer, 20, 1), "the uninstaller's message stayed")
        self.assertNotEqual(0, run("dpkg-query", "-W", "tavorin").returncode)
        left = [f for f in files if os.path.lexists(f) and not os.path.isdir(f)]
        self.assertEqual([], left)
        self.assertFalse(os.path.exists("/opt/tavorin"))


def viewers():
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            found.append(os.readlink(f"/proc/{entry}/exe"))
        except OSError:
            pass
    return found


class tempfile_dir:
    def __enter__(self):
        self.path = harness.tempfile.mkdtemp(prefix="tavorin-deb-")
        return self.path

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)


def read(root, path):
    with open(os.path.join(root, path)) as f:
        return f.read()


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
