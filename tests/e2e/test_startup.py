"""The real program under a virtual desktop: first request, tray icon, clean end."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXECUTABLE = None
PAGE = "<html><body><h1>Info</h1><p>Today's news.</p></body></html>"


class StartupTest(unittest.TestCase):
    def setUp(self):
        self.server = harness.Server({"/info": (200, PAGE), "/user": (200, PAGE)})
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.cleanup()
        self.server.close()

    def launch(self, args=(), **kwargs):
        program = harness.Program(EXECUTABLE, **kwargs).start(args=args)
        self.programs.append(program)
        return program

    def test_first_request_tray_icon_and_clean_end(self):
        program = self.launch(param_ini=f"[Param]\r\nPage={self.server.url('/info')}\r\n",
                              icon="Info.ico")
        first = harness.wait_for(lambda: self.server.requests_for("/info"), 30)
        self.assertTrue(first, "no request reached the server\n" + program.output())
        self.assertTrue(first[0][2].get("User-Agent", "").startswith("Tavorin/"))
        self.assertTrue(harness.wait_for(lambda: harness.tray_holds("Tavorin"), 15),
                        "tray icon not embedded in the tray host\n" + program.output())

        # The changed page shows the window, which brings up the browser and its helpers.
        self.assertTrue(harness.wait_for(lambda: harness.window_geometry("Tavorin"), 20),
                        "notification window not shown\n" + program.output())
        helpers = program.descendants()
        program.stop()
        self.assertTrue(helpers, "the shown page should run in browser helper processes")
        self.assertEqual(0, program.process.returncode)
        harness.wait_for(lambda: not harness.alive(helpers), 10)
        self.assertEqual([], harness.alive(helpers), "browser helpers outlived the program")

    def test_user_file_supplies_the_page_when_param_ini_is_garbage(self):
        garbage = bytes(range(256)) * 64 + b"\n" + b"x" * 100_000 + b"\n\xff\xfe\x00[Param\n"
        self.launch(param_ini=garbage,
                    user_conf=f"[Settings]\nurlInfo={self.server.url('/user')}\n")
        self.assertTrue(harness.wait_for(lambda: self.server.requests_for("/user"), 30),
                        "the per-user page address was not requested")
        self.assertTrue(harness.wait_for(lambda: harness.tray_holds("Tavorin"), 15))

    def test_command_line_is_not_read(self):
        # Qt would abort on an unknown platform plugin if it saw these.
        program = self.launch(args=["-platform", "nonexistent", "-stylesheet", "/nonexistent.qss"],
                              param_ini=f"[Param]\nPage={self.server.url('/info')}\n")
        self.assertTrue(harness.wait_for(lambda: self.server.requests_for("/info"), 30),
                        program.output())
        self.assertTrue(harness.wait_for(lambda: harness.tray_holds("Tavorin"), 15))
        self.assertIsNone(program.process.poll())

    def test_undecodable_icon_still_starts(self):
        program = self.launch(param_ini=f"[Param]\nPage={self.server.url('/info')}\n",
                              icon="broken.ico")
        self.assertTrue(harness.wait_for(lambda: self.server.requests_for("/info"), 30),
                        program.output())
        self.assertTrue(harness.wait_for(lambda: harness.tray_holds("Tavorin"), 15))
        self.assertIsNone(program.process.poll())


if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
