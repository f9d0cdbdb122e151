"""Certificates: the poll and the shown page trust the same store, the system's."""
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXECUTABLE = None
EC = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]


class TrustTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tavorin-trust-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.openssl("req", "-x509", *EC, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                     "-subj", "/CN=Tavorin test CA", "-addext", "basicConstraints=critical,CA:TRUE")
        # A copy of the system's store with the test CA, which the program sees in place of
        # /etc/ssl/certs in a mount namespace of its own: the machine's store is never touched.
        store = os.path.join(self.dir, "store")
        shutil.copytree("/etc/ssl/certs", store, symlinks=True)
        shutil.copy(os.path.join(self.dir, "ca.pem"), os.path.join(store, "tavorin-test-ca.pem"))
        self.openssl("rehash", store)
        self.launcher = ["unshare", "-m" if os.geteuid() == 0 else "-rm", "sh", "-c",
                         'mount --bind "$0" /etc/ssl/certs && exec "$@"', store]
        if subprocess.run(self.launcher + ["true"], capture_output=True).returncode:
            self.skipTest("no mount namespace for a private certificate store")

    def openssl(self, *args):
        subprocess.run(["openssl", *args], cwd=self.dir, check=True, capture_output=True)

    def server(self, name, pages, signed=True, host="IP:127.0.0.1", days="2"):
        """A server behind TLS; `refused` counts the handshakes its client broke off."""
        if signed:
            self.openssl("req", *EC, "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=t")
            with open(os.path.join(self.dir, name + ".ext"), "w") as f:
                f.write(f"subjectAltName={host}\n")
            self.openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                         "-CAcreateserial", "-days", days, "-extfile", name + ".ext", "-out", name + ".pem")
        else:
            self.openssl("req", "-x509", *EC, "-keyout", name + ".key", "-out", name + ".pem",
                         "-days", days, "-subj", "/CN=t", "-addext", "subjectAltName=" + host)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*(os.path.join(self.dir, name + ext) for ext in (".pem", ".key")))
        server = harness.Server(pages)
        self.addCleanup(server.close)
        server.refused, accept, finish = [], server.httpd.get_request, server.httpd.finish_request

        def get_request():
            sock, address = accept()
            sock.settimeout(30)
            return context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), address

        def finish_request(sock, address):
            try:
                sock.do_handshake()
            except OSError as error:
                return server.refused.append(error)
            finish(sock, address)
        server.httpd.get_request, server.httpd.finish_request = get_request, finish_request
        return server

    def launch(self, url):
        program = harness.Program(EXECUTABLE, param_ini=f"[Param]\nPage={url}\n", launcher=self.launcher)
        self.addCleanup(program.cleanup)
        return program.start()

    def test_the_page_trusts_what_the_poll_trusts(self):
        picture = {"/picture.png": (200, "not really a picture")}
        bad = [self.server("self-signed", picture, signed=False),
               self.server("expired", picture, days="-1"),
               self.server("wrong-host", picture, host="DNS:tavorin.invalid")]
        good = self.server("good", picture)
        images = "".join(f'<img src="https://127.0.0.1:{s.port}/picture.png">' for s in [good] + bad)
        good.set_page("/info", 200, f"<html><body><h1>Intranet</h1>{images}</body></html>")
        program = self.launch(f"https://127.0.0.1:{good.port}/info")
        self.assertTrue(harness.wait_for(lambda: good.requests_for("/picture.png"), 60),
                        "the shown page's picture was refused\n" + program.output())
        for server in bad:
            self.assertTrue(harness.wait_for(lambda: server.refused, 30), program.output())
        time.sleep(2)  # an acceptance would have fetched the picture by now
        self.assertEqual([[], [], []], [s.requests_for("/picture.png") for s in bad])

        # The poll refuses what the system does not trust.
        untrusted = bad[0]
        untrusted.set_page("/info", 200, "<html><body>never shown</body></html>")
        program = self.launch(f"https://127.0.0.1:{untrusted.port}/info")
        failed = f"Transfer of https://127.0.0.1:{untrusted.port}/info failed"
        self.assertTrue(harness.wait_for(lambda: failed in program.output(), 60), program.output())
        self.assertEqual([], untrusted.requests_for("/info"))


if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
