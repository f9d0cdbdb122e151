"""The Windows setups under Wine. Usage: test_windows_setup.py build-windows/Tavorin.exe"""
import contextlib
import filecmp
import os
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import test_windows as tw  # noqa: E402

KEYS = r"HKCU\Software\Microsoft\Windows\CurrentVersion"
EMULATION = r"HKCU\Software\Microsoft\Internet Explorer\Main\FeatureControl" \
    r"\FEATURE_BROWSER_EMULATION"


def values(key):
    listing = tw.wine("reg", "query", key).stdout
    return dict(re.findall(r"^\s+(\S+)\s+REG_\w+\s+(.*?)\s*$", listing, re.M))


def run(*command):
    with tempfile.TemporaryFile() as out:  # not a pipe: what it starts may outlive it
        code = subprocess.run([tw.WINE, *command], stdout=out, stderr=out, timeout=120).returncode
        out.seek(0)
        return code, out.read().decode(errors="replace")


def running(name):
    ours = f"WINEPREFIX={os.environ['WINEPREFIX']}".encode()  # not other prefixes' programs

    def in_ours(pid):
        with contextlib.suppress(OSError):  # gone meanwhile
            return ours in Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
    return [pid for pid in harness.processes_named(name) if in_ours(pid)]


class SetupTest(tw.WineTest):
    def setUp(self):
        super().setUp()
        self.work = self.enterContext(tempfile.TemporaryDirectory(prefix="tavorin-setup-"))
        self.temp = tw.prefix_path(tw.wine("cmd", "/c", "echo %TEMP%").stdout.strip())

    def why(self, text):
        return text

    def setup_for(self, name=None, version="0.1.0", page=None, extra=b""):
        # Tavorin's setup, or a copy's whose program has extra bytes at its end.
        folder = Path(self.work, f"{name}-{version}")
        if name:
            folder.mkdir()
            Path(folder, f"{name}.exe").write_bytes(Path(tw.EXECUTABLE).read_bytes() + extra)
            Path(folder, "Info.ico").write_bytes(Path(harness.DATA, "Info.ico").read_bytes())
            Path(folder, "Param.ini").write_text(
                f"[Param]\r\nPage={self.server.url(page)}\r\nLangue=en\r\nDelaiInfo=0\r\n")
        built = subprocess.run(
            [os.path.join(os.path.dirname(__file__), "../../scripts/package_windows.sh")]
            + ([folder] if name else []), capture_output=True, text=True, timeout=300,
            env=dict(os.environ, WIN_BUILD_DIR=os.path.dirname(tw.EXECUTABLE),
                     SETUP_VERSION=version))
        self.assertEqual(0, built.returncode, built.stdout + built.stderr)
        return re.search(r"^Built (.*)$", built.stdout, re.M).group(1)

    def install(self, setup, name, expect=0):
        self.assertEqual(expect, *run(setup, "/S"))
        self.addCleanup(self.remove_quietly, name)
        return tw.prefix_path(values(rf"{KEYS}\Uninstall\{name}")["InstallLocation"])

    def remove_quietly(self, name, kill=True):
        for pid in running(f"{name}.exe") if kill else []:
            os.kill(pid, 9)
        command = values(rf"{KEYS}\Uninstall\{name}").get("QuietUninstallString")
        return command and run(*re.match(r'"([^"]+)" (\S+) (.*)$', command).groups())[0]

    def start_at_login(self, name):
        process = subprocess.Popen([tw.WINE, values(rf"{KEYS}\Run")[name].strip('"')],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(process.kill)
        return process

    def assert_installed(self, name, files, version="0.1.0"):
        folder = (found := values(rf"{KEYS}\Uninstall\{name}"))["InstallLocation"]
        here = tw.prefix_path(folder)
        self.assertTrue(folder.endswith(rf"\AppData\Local\Programs\{name}"), folder)
        self.assertEqual(sorted(files + [f"{name}.exe", "unins000.exe"]), sorted(os.listdir(here)))
        unins = rf'"{folder}\unins000.exe"'
        icon = "Info.ico" if "Info.ico" in files else f"{name}.exe,0"
        expected = {"DisplayName": name, "DisplayVersion": version, "Publisher": "Orbelia",
                    "DisplayIcon": rf"{folder}\{icon}", "UninstallString": unins,
                    "QuietUninstallString": f"{unins} /S _?={folder}", "NoModify": "0x1",
                    "NoRepair": "0x1"}
        self.assertEqual(expected, {key: found.get(key) for key in expected})
        self.assertGreater(int(found["EstimatedSize"], 16), 1000)
        self.assertEqual(rf'"{folder}\{name}.exe"', values(rf"{KEYS}\Run").get(name))
        shortcut = tw.prefix_path(folder.split(r"\AppData")[0] + r"\AppData\Roaming\Microsoft"
                                  rf"\Windows\Start Menu\Programs\{name}.lnk")
        self.assertTrue(os.path.isfile(shortcut))
        temp = os.listdir(self.temp)

        def removed():
            self.assertTrue(harness.wait_for(lambda: not os.path.exists(here), 10), folder)
            self.assertTrue(harness.wait_for(lambda: os.listdir(self.temp) == temp, 10),
                            f"left in %TEMP%: {os.listdir(self.temp)}")
            self.assertEqual((None, None, {}), (values(rf"{KEYS}\Run").get(name), values(
                EMULATION).get(f"{name}.exe"), values(rf"{KEYS}\Uninstall\{name}")))
            self.assertFalse(os.path.exists(shortcut))
        return removed

    def test_install_start_at_login_second_start_and_uninstall_from_tray(self):
        folder = self.install(self.setup_for(), "Tavorin")
        self.assertTrue(filecmp.cmp(tw.EXECUTABLE, f"{folder}/Tavorin.exe", shallow=False))
        Path(folder, "Param.ini").write_text(f"[Param]\nPage={self.server.url('/info')}\n"
                                             "Langue=en\n")
        removed = self.assert_installed("Tavorin", ["Param.ini"])
        process = self.start_at_login("Tavorin")
        self.assertTrue(harness.wait_for(self.polls, 30), "installed program: no poll")
        self.wait_shown()
        self.click_tray(until=lambda: not self.shown())
        self.assertEqual(0, self.start_at_login("Tavorin").wait(30))
        self.assertTrue(harness.wait_for(self.shown, 10), "second start showed no window")
        self.assertEqual(1, len(running("Tavorin.exe")))
        self.assertIn("Tavorin.exe", values(EMULATION))

        self.menu_command(4)
        question = harness.wait_for(lambda: [w for w, i in harness.visible_windows(
            tw.CLASS).items() if i["title"] == "Quorvellis"], 10)
        harness.activate(question[0])
        self.assertEqual(0, harness.answer_yes(process))
        wizard = harness.wait_for(lambda: harness._run(
            "xdotool", "search", "--onlyvisible", "--name", "Tavorin Uninstall").split(), 20)
        harness.activate(wizard[0])
        harness.keys("Return")  # its one question: Uninstall
        removed()

    def test_upgrade_failed_replacement_and_copies_side_by_side(self):
        self.install(self.setup_for(), "Tavorin")
        first = self.setup_for("Newsy", "0.1.0", "/copy")
        later = self.setup_for("Newsy", "0.2.0", "/user", extra=b"\0" * 512)
        param = Path(self.install(first, "Newsy"), "Param.ini")
        self.assert_installed("Newsy", ["Info.ico", "Param.ini"])
        param.write_bytes(changed := param.read_bytes() + b"; the publisher's own line\r\n")
        self.start_at_login("Newsy")
        self.assertTrue(harness.wait_for(lambda: self.polls("/copy"), 30), "copy: no poll")
        before = running("Newsy.exe")

        # Over the running copy: ended without a question, replaced, started again.
        newer = f"{self.work}/Newsy-0.2.0/Newsy.exe"
        self.install(later, "Newsy")
        self.assertTrue(filecmp.cmp(newer, param.with_name("Newsy.exe"), shallow=False))
        self.assertEqual(changed, param.read_bytes())
        self.assertTrue(harness.wait_for(lambda: set(running("Newsy.exe")) - set(before), 20))

        holder = subprocess.Popen([tw.WINE, Path(tw.EXECUTABLE).parent / "tests/win_probe.exe",
                                   "hold", values(rf"{KEYS}\Uninstall\Newsy")["InstallLocation"]
                                   + r"\Newsy.exe"], stdout=subprocess.PIPE, text=True)
        self.addCleanup(holder.kill)
        self.assertEqual("held", holder.stdout.readline().strip())
        self.install(first, "Newsy", expect=4)
        self.assertTrue(filecmp.cmp(newer, param.with_name("Newsy.exe"), shallow=False))
        removed = self.assert_installed("Newsy", ["Info.ico", "Param.ini"], "0.2.0")
        holder.kill()  # it kept the copy from starting again; the uninstaller ends a running one
        for crashed in (False, True):  # then killed: what it held never blocks the next start
            if crashed:
                self.assertEqual(1, len(pids := running("Newsy.exe")))
                os.kill(pids[0], 9)
            polled = len(self.polls("/copy"))
            self.start_at_login("Newsy")
            self.assertTrue(harness.wait_for(lambda: len(self.polls("/copy")) > polled, 30))

        self.assertEqual(0, self.remove_quietly("Newsy", kill=False))
        removed()
        self.assert_installed("Tavorin", [])


if __name__ == "__main__":
    tw.EXECUTABLE = harness.executable_from_argv()
    suite = unittest.TestSuite(SetupTest(name) for name in sorted(vars(SetupTest))
                               if name.startswith("test_"))
    sys.exit(not unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful())
