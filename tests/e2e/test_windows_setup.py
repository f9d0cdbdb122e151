"""The Windows setups under Wine: silent install, start at login, one instance per copy, the
tray menu's uninstall, an upgrade over a running copy, a failed replacement, copies side by
side. Usage: test_windows_setup.py build-windows/Tavorin.exe   (as test_windows.py)"""
import hashlib
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
import test_windows  # noqa: E402
from test_windows import prefix_path, wine  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
KEYS = r"HKCU\Software\Microsoft\Windows\CurrentVersion"
EMULATION = (r"HKCU\Software\Microsoft\Internet Explorer\Main\FeatureControl"
             r"\FEATURE_BROWSER_EMULATION")


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def reg_value(key, name):
    found = re.search(r"^\s*%s\s+REG_\w+\s+(.*)$" % re.escape(name),
                      wine("reg", "query", key, "/v", name).stdout, re.M)
    return found and found.group(1).strip()


def timed(*command):
    """(exit code, seconds) of a Windows command run to its end under Wine."""
    start = time.monotonic()
    code = subprocess.run([test_windows.WINE, *command], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=120).returncode
    return code, time.monotonic() - start


def running(name):
    """Pids of the processes of that executable in our Wine prefix."""
    ours = f"WINEPREFIX={os.environ['WINEPREFIX']}".encode()
    found = []
    for pid in harness.processes_named(name):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if ours in f.read().split(b"\0"):
                    found.append(pid)
        except OSError:
            pass
    return found


class SetupTest(test_windows.WineTest):
    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix="tavorin-setup-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.temp = prefix_path(wine("cmd", "/c", "echo %TEMP%").stdout.strip())

    def why(self, text):
        return text

    def setup_for(self, name=None, version=None, page=None, extra=b""):
        """Builds the setup of Tavorin, or of a copy called name whose program has extra
        bytes at its end (a different file that runs the same)."""
        args = []
        if name:
            folder = os.path.join(self.work, f"{name}-{version}")
            os.makedirs(folder)
            with open(test_windows.EXECUTABLE, "rb") as f:
                program = f.read() + extra
            with open(os.path.join(folder, f"{name}.exe"), "wb") as f:
                f.write(program)
            shutil.copy(os.path.join(harness.DATA, "Info.ico"), folder)
            with open(os.path.join(folder, "Param.ini"), "w", newline="\r\n") as f:
                f.write(f"[Param]\nPage={self.server.url(page)}\nLangue=en\nDelaiInfo=0\n")
            args = [folder]
        env = dict(os.environ, WIN_BUILD_DIR=os.path.dirname(test_windows.EXECUTABLE))
        if version:
            env["SETUP_VERSION"] = version
        built = subprocess.run([os.path.join(ROOT, "scripts", "package_windows.sh"), *args],
                               env=env, capture_output=True, text=True, timeout=300)
        self.assertEqual(0, built.returncode, built.stdout + built.stderr)
        return re.search(r"^Built (.*)$", built.stdout, re.M).group(1)

    def install(self, setup, name, expect=0):
        code, seconds = timed(setup, "/S")
        print(f"\n{os.path.basename(setup)}: {os.path.getsize(setup)} bytes, silent install "
              f"{seconds:.2f} s", file=sys.stderr)
        self.assertEqual(expect, code, setup)
        self.addCleanup(self.remove_quietly, name)
        folder = reg_value(rf"{KEYS}\Uninstall\{name}", "InstallLocation")
        self.assertTrue(folder, f"no Uninstall key for {name}")
        return prefix_path(folder)

    def remove_quietly(self, name, kill=True):
        for pid in running(f"{name}.exe") if kill else []:
            os.kill(pid, 9)
        command = reg_value(rf"{KEYS}\Uninstall\{name}", "QuietUninstallString")
        if command:
            program, argument = re.match(r'"([^"]+)" (.*)$', command).groups()
            return timed(program, *argument.split(" ", 1))
        return None

    def start_at_login(self, name):
        """Starts the program as the Run value says, and its Popen."""
        command = reg_value(rf"{KEYS}\Run", name)
        self.assertRegex(command, r'^"[^"]+\\%s\.exe"$' % name)
        process = subprocess.Popen([test_windows.WINE, command.strip('"')],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(process.kill)
        return process

    def assert_installed(self, folder, name, files, version="0.1.0"):
        self.assertEqual(sorted(files + [f"{name}.exe", "unins000.exe"]), sorted(os.listdir(folder)))
        key = rf"{KEYS}\Uninstall\{name}"
        icon = "Info.ico" if "Info.ico" in files else f"{name}.exe,0"
        windows_folder = reg_value(key, "InstallLocation")
        self.assertTrue(windows_folder.endswith(rf"\AppData\Local\Programs\{name}"))
        uninstaller = rf'"{windows_folder}\unins000.exe"'
        for value, expected in [("DisplayName", name), ("DisplayVersion", version),
                                ("DisplayIcon", rf"{windows_folder}\{icon}"),
                                ("Publisher", "Orbelia"), ("UninstallString", uninstaller),
                                ("QuietUninstallString", f"{uninstaller} /S _?={windows_folder}"),
                                ("NoModify", "0x1"), ("NoRepair", "0x1")]:
            self.assertEqual(expected, reg_value(key, value), value)
        self.assertGreater(int(reg_value(key, "EstimatedSize"), 16), 1000)
        self.assertEqual(rf'"{windows_folder}\{name}.exe"', reg_value(rf"{KEYS}\Run", name))
        self.assertTrue(os.path.isfile(self.shortcut(windows_folder, name)))

    def shortcut(self, windows_folder, name):
        user = windows_folder.split(r"\AppData")[0]
        return prefix_path(rf"{user}\AppData\Roaming\Microsoft\Windows\Start Menu\Programs"
                           rf"\{name}.lnk")

    def assert_removed(self, folder, windows_folder, name, temp_before):
        self.assertTrue(harness.wait_for(lambda: not os.path.exists(folder), 10), folder)
        self.assertTrue(harness.wait_for(lambda: os.listdir(self.temp) == temp_before, 10),
                        f"left in %TEMP%: {os.listdir(self.temp)}")
        self.assertIsNone(reg_value(rf"{KEYS}\Run", name))
        self.assertIsNone(reg_value(EMULATION, f"{name}.exe"))
        self.assertNotEqual(0, wine("reg", "query", rf"{KEYS}\Uninstall\{name}").returncode)
        self.assertFalse(os.path.exists(self.shortcut(windows_folder, name)))

    def test_install_start_at_login_second_start_and_uninstall_from_tray(self):
        folder = self.install(self.setup_for(), "Tavorin")
        self.assert_installed(folder, "Tavorin", [])
        self.assertEqual(digest(test_windows.EXECUTABLE), digest(f"{folder}/Tavorin.exe"))
        with open(os.path.join(folder, "Param.ini"), "w") as f:
            f.write(f"[Param]\nPage={self.server.url('/info')}\nLangue=en\n")
        process = self.start_at_login("Tavorin")
        self.assertTrue(harness.wait_for(lambda: self.polls(), 30), "installed program: no poll")
        self.wait_shown()
        self.click_tray(until=lambda: not self.shown())
        # A second start of the same copy shows the running one's window and ends.
        self.assertEqual(0, self.start_at_login("Tavorin").wait(30))
        self.assertTrue(harness.wait_for(self.shown, 10), "second start showed no window")
        self.assertEqual(1, len(running("Tavorin.exe")))
        self.assertTrue(reg_value(EMULATION, "Tavorin.exe"), "the program's value not written")

        windows_folder = reg_value(rf"{KEYS}\Uninstall\Tavorin", "InstallLocation")
        temp_before = os.listdir(self.temp)
        started = time.monotonic()
        self.menu_command(4)
        question = harness.wait_for(lambda: [w for w, i in harness.visible_windows(
            test_windows.CLASS).items() if i["title"] == "Quorvellis"], 10)
        self.assertTrue(question, "no uninstall question")
        harness.activate(question[0])
        self.assertEqual(0, harness.answer_yes(process))
        wizard = harness.wait_for(lambda: harness._run(
            "xdotool", "search", "--onlyvisible", "--name", "Tavorin Uninstall").split(), 20)
        self.assertTrue(wizard, "the uninstaller did not start")
        harness.activate(wizard[0])
        harness.keys("Return")  # its one question: Uninstall
        self.assert_removed(folder, windows_folder, "Tavorin", temp_before)
        print(f"uninstall from the tray menu: {time.monotonic() - started:.2f} s",
              file=sys.stderr)

    def test_upgrade_failed_replacement_and_copies_side_by_side(self):
        tavorin = self.install(self.setup_for(), "Tavorin")
        first = self.setup_for("Newsy", "0.1.0", "/copy")
        later = self.setup_for("Newsy", "0.2.0", "/user", extra=b"\0" * 512)
        folder = self.install(first, "Newsy")
        self.assert_installed(folder, "Newsy", ["Info.ico", "Param.ini"])
        param = os.path.join(folder, "Param.ini")
        with open(param, "a") as f:
            f.write("; the publisher's own line\r\n")
        with open(param, "rb") as f:
            changed = f.read()
        self.start_at_login("Newsy")
        self.assertTrue(harness.wait_for(lambda: self.polls("/copy"), 30), "copy: no poll")
        before = running("Newsy.exe")

        # Over the running copy: ended without a question, replaced, started again.
        self.install(later, "Newsy")
        self.assertEqual(digest(f"{self.work}/Newsy-0.2.0/Newsy.exe"),
                         digest(f"{folder}/Newsy.exe"))
        with open(param, "rb") as f:
            self.assertEqual(changed, f.read())
        self.assertEqual("0.2.0", reg_value(rf"{KEYS}\Uninstall\Newsy", "DisplayVersion"))
        restarted = harness.wait_for(lambda: running("Newsy.exe"), 20)
        self.assertTrue(restarted and not set(restarted) & set(before), "not started again")

        # A file held open by another program: the setup says so and changes nothing.
        probe = os.path.join(os.path.dirname(test_windows.EXECUTABLE), "tests", "win_probe.exe")
        holder = subprocess.Popen([test_windows.WINE, probe, "hold",
                                   reg_value(rf"{KEYS}\Uninstall\Newsy", "InstallLocation")
                                   + r"\Newsy.exe"], stdout=subprocess.PIPE, text=True)
        self.addCleanup(holder.kill)
        self.assertEqual("held", holder.stdout.readline().strip())
        self.install(first, "Newsy", expect=4)
        self.assertEqual(digest(f"{self.work}/Newsy-0.2.0/Newsy.exe"),
                         digest(f"{folder}/Newsy.exe"))
        self.assert_installed(folder, "Newsy", ["Info.ico", "Param.ini"], "0.2.0")
        holder.kill()  # it kept the copy from starting again; the uninstaller ends a running one
        polled = len(self.polls("/copy"))
        self.start_at_login("Newsy")
        self.assertTrue(harness.wait_for(lambda: len(self.polls("/copy")) > polled, 30))

        # Removing one copy leaves the other whole.
        windows_folder = reg_value(rf"{KEYS}\Uninstall\Newsy", "InstallLocation")
        temp_before = os.listdir(self.temp)
        code, seconds = self.remove_quietly("Newsy", kill=False)
        print(f"silent uninstall: {seconds:.2f} s, unins000.exe "
              f"{os.path.getsize(os.path.join(tavorin, 'unins000.exe'))} bytes", file=sys.stderr)
        self.assertEqual(0, code)
        self.assert_removed(folder, windows_folder, "Newsy", temp_before)
        self.assert_installed(tavorin, "Tavorin", [])


if __name__ == "__main__":
    test_windows.EXECUTABLE = harness.executable_from_argv()
    suite = unittest.TestSuite(SetupTest(name) for name in sorted(vars(SetupTest))
                               if name.startswith("test_"))
    sys.exit(not unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful())
