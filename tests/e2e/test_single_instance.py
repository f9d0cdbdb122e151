"""One running program per copy: a second start shows the running one's window and ends; a copy
in another folder runs beside it; after kill -9, of two starts at once exactly one runs."""
import copy
import glob
import os
import signal
import socket
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


def polls(server, path):  # the program's own requests, not the browser's
    return [r for r in server.requests_for(path) if r[2].get("User-Agent", "").startswith("Tavorin/")]


def exe(pid):
    try:
        return os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return None


def mains(program):  # live processes of the copy's file that are not its viewers
    pids = {p for p in harness.alive([int(p) for p in os.listdir("/proc") if p.isdigit()])
            if exe(p) == program.exe}
    return pids - {c for p in pids for c in harness.process_tree(p)}


class SingleInstanceTest(unittest.TestCase):
    def test_one_program_per_copy(self):
        server = harness.Server({"/a": (500, "down"), "/b": (500, "down")})
        self.addCleanup(server.close)
        first = harness.Program(EXE, param_ini=f"[Param]\nPage={server.url('/a')}\nDelaiInfo=60\n")
        self.addCleanup(first.cleanup)
        first.start()
        self.assertTrue(harness.wait_for(lambda: polls(server, "/a"), 30), first.output())
        runtime = os.environ.get("XDG_RUNTIME_DIR", first.dir)
        [path] = glob.glob(os.path.join(runtime, "Tavorin-*.socket"))
        # Anything but the one request is dropped, and so is a client that sends nothing.
        for data in (b"Tavorin shoW\n", b"Tavorin show\nmore", b""):
            with socket.socket(socket.AF_UNIX) as client:
                client.settimeout(10)
                client.connect(path)
                client.sendall(data)
                self.assertEqual(b"", client.recv(16), data)
        time.sleep(1)
        self.assertIsNone(harness.window_geometry("Tavorin"), "shown without the request")

        second = copy.copy(first).start()
        self.assertEqual(0, second.process.wait(20), second.output())
        self.assertTrue(harness.wait_for(lambda: harness.window_geometry("Tavorin"), 20))
        self.assertEqual(({first.process.pid}, 1), (mains(first), len(polls(server, "/a"))))

        other = harness.Program(EXE, param_ini=f"[Param]\nPage={server.url('/b')}\n")
        self.addCleanup(other.cleanup)
        other.start(env_changes={"XDG_RUNTIME_DIR": runtime})
        self.assertTrue(harness.wait_for(lambda: polls(server, "/b"), 30), other.output())
        self.assertIsNone(other.process.poll())

        first.stop(signal.SIGKILL)  # leaves its socket file and lock file
        starts = [copy.copy(first).start() for _ in range(2)]
        for program in starts:
            self.addCleanup(program.cleanup)
        self.assertTrue(harness.wait_for(lambda: len(polls(server, "/a")) > 1, 30))
        time.sleep(3)
        self.assertEqual([0, None], sorted((p.process.poll() for p in starts),
                                           key=lambda code: code is None))
        self.assertEqual(2, len(polls(server, "/a")))


if __name__ == "__main__":
    EXE = harness.executable_from_argv()
    unittest.main(verbosity=2)
