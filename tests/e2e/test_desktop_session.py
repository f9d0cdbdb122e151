"""What the desktop session gives the program: its proxy, its certificates, no bus left behind."""
import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXECUTABLE = None
PROXIED = "http://tavorin-proxy.invalid/info"
# The page is shown from the body the poll compared; its picture is the browser's own fetch.
PICTURE = "http://tavorin-proxy.invalid/picture.png"
PAGE = '<html><body><h1>Through the proxy</h1><img src="picture.png"></body></html>'

EC = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
PROXY_VARIABLES = ("http_proxy", "https_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                   "NO_PROXY", "all_proxy", "ALL_PROXY")


class DesktopSessionTest(unittest.TestCase):
    def setUp(self):
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.cleanup()

    def launch(self, page, env_changes):
        program = harness.Program(EXECUTABLE, param_ini=f"[Param]\nPage={page}\n")
        self.programs.append(program)
        return program.start(env_changes=env_changes)

    def test_poller_and_browser_go_through_the_environment_proxy(self):
        # The local server answers proxy requests (absolute addresses) for a host that does
        # not exist: only the proxy can serve it.
        proxy = harness.Server({PROXIED: (200, PAGE), PICTURE: (200, "not really a picture")})
        self.addCleanup(proxy.close)
        env = {name: None for name in PROXY_VARIABLES}
        env["http_proxy"] = f"http://127.0.0.1:{proxy.port}"
        program = self.launch(PROXIED, env)
        self.assertTrue(harness.wait_for(lambda: proxy.requests_for(PROXIED), 30),
                        "the poll did not go through the proxy\n" + program.output())
        self.assertTrue(proxy.requests_for(PROXIED)[0][2].get("User-Agent", "").startswith("Tavorin/"))
        # The changed page is shown: the browser fetches its picture through the proxy as well.
        browser = lambda: proxy.requests_for(PICTURE)
        self.assertTrue(harness.wait_for(browser, 30),
                        "the browser did not go through the proxy\n" + program.output())
        # A proxy that is down is named, not taken for the page's server.
        down = self.enterContext(socket.socket())  # bound, never listening: refuses connections
        down.bind(("127.0.0.1", 0))
        env["http_proxy"] = f"http://127.0.0.1:{down.getsockname()[1]}"
        program = self.launch(PROXIED, env)
        named = f"{PROXIED} failed: the proxy 127.0.0.1:{down.getsockname()[1]} failed"
        self.assertTrue(harness.wait_for(lambda: named in program.output(), 30), program.output())

    def test_the_shown_page_trusts_what_the_poll_trusts(self):
        # A copy of the system's store with a test CA takes the place of /etc/ssl/certs in the
        # program's own mount namespace: the machine's store is never touched.
        folder = self.enterContext(tempfile.TemporaryDirectory(prefix="tavorin-trust-"))
        store = shutil.copytree("/etc/ssl/certs", os.path.join(folder, "store"), symlinks=True)
        openssl = lambda *args: subprocess.run(["openssl", *args], cwd=folder, capture_output=True)
        openssl("req", "-x509", *EC, "-keyout", "ca.key", "-out", "store/ca.pem", "-subj", "/CN=CA")
        openssl("rehash", store)
        def https(sign=("-CA", "store/ca.pem", "-CAkey", "ca.key"), days="2", host="IP:127.0.0.1"):
            openssl("req", "-new", *EC, "-keyout", "k", "-out", "r", "-subj", "/CN=t", "-addext",
                    "subjectAltName=" + host)
            openssl("x509", "-req", "-in", "r", *(sign or ("-key", "k")), "-days", days,
                    "-copy_extensions", "copy", "-out", "c")
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(f"{folder}/c", f"{folder}/k")
            server = harness.Server({"/picture.png": (200, "not really a picture")})
            self.addCleanup(server.close)
            server.httpd.socket = context.wrap_socket(server.httpd.socket, server_side=True)
            return server
        good, *bad = https(), https(None), https(days="-1"), https(host="DNS:tavorin.invalid")
        good.set_page("/info", 200, "".join(f'<img src="https://127.0.0.1:{s.port}/picture.png">'
                                            for s in [good] + bad))
        launcher = ["unshare", "-m" if os.geteuid() == 0 else "-rm", "sh", "-c",
                    'mount --bind "$0" /etc/ssl/certs && exec "$@"', store]
        launch = lambda s: self.programs.append(harness.Program(
            EXECUTABLE, f"[Param]\nPage=https://127.0.0.1:{s.port}/info\n", launcher=launcher).start())
        launch(good)
        self.assertTrue(harness.wait_for(lambda: good.requests_for("/picture.png"), 60),
                        self.programs[-1].output())
        time.sleep(2)  # a wrong acceptance would have fetched its picture by now
        self.assertEqual([[], [], []], [s.requests_for("/picture.png") for s in bad])
        launch(bad[0])  # the poll refuses what the page refuses
        failed = f"Transfer of https://127.0.0.1:{bad[0].port}/info failed"
        self.assertTrue(harness.wait_for(lambda: failed in self.programs[-1].output(), 60))

    def test_no_session_bus_is_left_behind(self):
        if not shutil.which("dbus-launch"):
            self.skipTest("dbus-x11 is not installed: nothing could autolaunch a bus")
        server = harness.Server({"/info": (500, "down")})
        self.addCleanup(server.close)
        runtime = tempfile.mkdtemp(prefix="tavorin-runtime-")
        self.addCleanup(shutil.rmtree, runtime, True)
        names = ("dbus-daemon", "dbus-launch")

        def ours(pid):
            # An autolaunched bus leaves our process tree; it keeps our environment.
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    return f"XDG_RUNTIME_DIR={runtime}".encode() in f.read().split(b"\0")
            except OSError:
                return False

        def run(env):
            before = harness.processes_named(*names)
            program = self.launch(server.url("/info"),
                                  dict(env, XDG_RUNTIME_DIR=runtime))
            self.assertTrue(harness.wait_for(lambda: harness.tray_holds("Tavorin"), 20),
                            program.output())
            time.sleep(2)
            program.stop()
            time.sleep(1)
            return {pid for pid in harness.processes_named(*names) - before if ours(pid)}

        # Control: a bus address the program must honour autolaunches one, as the user asked.
        started = run({"DBUS_SESSION_BUS_ADDRESS": "autolaunch:"})
        for pid in started:
            os.kill(pid, 15)
        self.assertTrue(started, "the control run autolaunched no bus: the check sees nothing")

        self.assertEqual(set(), run({"DBUS_SESSION_BUS_ADDRESS": None}),
                         "a session bus outlived the program")


if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
