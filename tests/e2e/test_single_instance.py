"""One running program per copy: a second start shows the running one's window and ends; a
copy in another folder runs beside it; a killed copy blocks nothing; of two starts at once one
survives; the socket honours only its one request."""
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

EXECUTABLE = None


def tops(program):
    """Pids running the copy's file that are not its own viewers."""
    pids = set()
    for pid in harness.alive([int(p) for p in os.listdir("/proc") if p.isdigit()]):
        try:
            if os.readlink(f"/proc/{pid}/exe") == program.exe:
                pids.add(pid)
        except OSError:
            pass
    return pids - {c for p in pids for c in harness.process_tree(p)}


def polls(server, path):
    """The program's own requests, not the browser's."""
    return [r for r in server.requests_for(path) if r[2].get("User-Agent", "").startswith("Tavorin/")]


class SingleInstanceTest(unittest.TestCase):
    def test_one_program_per_copy(self):
        server = harness.Server({"/a": (500, "down"), "/b": (500, "down")})
        self.addCleanup(server.close)
        first = harness.Program(EXECUTABLE, param_ini=f"[Param]\nPage={server.url('/a')}\n"
                                "DelaiInfo=60\n").start()
        self.addCleanup(first.cleanup)
        self.assertTrue(harness.wait_for(lambda: polls(server, "/a"), 30), first.output())
        runtime = os.environ.get("XDG_RUNTIME_DIR", first.dir)
        path = glob.glob(os.path.join(runtime, "Tavorin-*.socket"))
        self.assertEqual(1, len(path), path)
        self.assertEqual(0, os.stat(runtime).st_mode & 0o077)

        # Anything but the one request is dropped, and so is a client that sends nothing.
        for data in (b"Tavorin shoW\n", b"Tavorin show\nmore", b""):
            with socket.socket(socket.AF_UNIX) as client:
                client.settimeout(10)
                client.connect(path[0])
                client.sendall(data)
                self.assertEqual(b"", client.recv(16), data)
        time.sleep(1)
        self.assertIsNone(harness.window_geometry("Tavorin"), "shown without the request")

        second = copy.copy(first).start()
        self.assertEqual(0, second.process.wait(20), second.output())
        self.assertTrue(harness.wait_for(lambda: harness.window_geometry("Tavorin"), 20),
                        "the running copy did not show its window\n" + first.output())
        self.assertEqual({first.process.pid}, tops(first))
        self.assertEqual(1, len(polls(server, "/a")))

        other = harness.Program(EXECUTABLE, param_ini=f"[Param]\nPage={server.url('/b')}\n")
        self.addCleanup(other.cleanup)
        other.start(env_changes={"XDG_RUNTIME_DIR": runtime})
        self.assertTrue(harness.wait_for(lambda: polls(server, "/b"), 30), other.output())
        self.assertIsNone(other.process.poll())

        # Killed, it leaves its socket file and lock; then two starts at the same moment.
        first.stop(signal.SIGKILL)
        self.assertTrue(os.path.exists(path[0]))
        starts = [copy.copy(first).start() for _ in range(2)]
        for program in starts:
            self.addCleanup(program.cleanup)
        self.assertTrue(harness.wait_for(lambda: len(polls(server, "/a")) > 1, 30))
        ended = harness.wait_for(lambda: [p for p in starts if p.process.poll() is not None], 20)
        time.sleep(2)
        self.assertEqual([0], [p.process.returncode for p in ended], starts[0].output())
        self.assertEqual(1, len([p for p in starts if p.process.poll() is None]))
        self.assertEqual(2, len(polls(server, "/a")))


if __name__ == "__main__":
    EXECUTABLE = harness.executable_from_argv()
    unittest.main(verbosity=2)
