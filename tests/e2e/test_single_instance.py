"""A second start shows the running copy's window and ends; other copies and kill -9 block nothing."""
import copy
import glob
import os
import signal
import socket
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

EXE = harness.executable_from_argv()
server = harness.Server({"/a": (500, "down"), "/b": (500, "down")})


def polls(path):  # the program's own requests, not the browser's
    return [r for r in server.requests_for(path) if r[2].get("User-Agent", "").startswith("Tavorin/")]


first = harness.Program(EXE, param_ini=f"[Param]\nPage={server.url('/a')}\nDelaiInfo=60\n")
os.environ["XDG_RUNTIME_DIR"] = first.dir  # every start here: the copies' private runtime folder
first.start()
other = harness.Program(EXE, param_ini=f"[Param]\nPage={server.url('/b')}\n")
starts = [copy.copy(first) for _ in range(3)]
try:
    assert harness.wait_for(lambda: polls("/a"), 30), first.output()
    [path] = glob.glob(os.path.join(first.dir, "Tavorin-*.socket"))
    # Anything but the one request is dropped, and so is a client that sends nothing.
    for data in (b"Tavorin shoW\n", b"Tavorin show\nmore", b""):
        with socket.socket(socket.AF_UNIX) as client:
            client.connect(path)
            client.sendall(data)
            assert client.recv(16) == b"", data
    assert not harness.wait_for(lambda: harness.window_geometry("Tavorin"), 1), "shown unasked"
    assert starts[0].start().process.wait(20) == 0, "a second start did not end at once"
    assert harness.wait_for(lambda: harness.window_geometry("Tavorin"), 20), "window not shown"
    mine = set(harness.alive(harness.process_tree(os.getpid())))  # the first and its viewer
    mine -= set(harness.process_tree(first.process.pid))
    assert mine == {first.process.pid} and len(polls("/a")) == 1, "two programs run"
    other.start()
    assert harness.wait_for(lambda: polls("/b"), 30) and other.process.poll() is None, "none beside"
    first.stop(signal.SIGKILL)  # leaves its socket file and its lock file
    [program.start() for program in starts[1:]]
    assert harness.wait_for(lambda: len(polls("/a")) > 1, 30), "no start after kill -9"
    time.sleep(3)
    codes = sorted((p.process.poll() for p in starts[1:]), key=lambda code: code is None)
    assert codes == [0, None] and len(polls("/a")) == 2, f"two starts at once: {codes}"
finally:
    for program in [first, other] + starts:
        program.cleanup()
    server.close()
