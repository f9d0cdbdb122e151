"""Process start to first request on the wire, over several runs (median reported).
Usage: python3 bench/startup.py build/Tavorin [runs]   (needs DISPLAY; see bench/startup.sh)"""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402


def one_run(executable, launcher=()):
    """Milliseconds from the process's start to its first request; launcher runs it (Wine)."""
    server = harness.Server({"/info": (200, "<html><body>bench</body></html>")})
    program = harness.Program(executable, param_ini=f"[Param]\nPage={server.url('/info')}\n",
                              name=os.path.basename(executable), launcher=launcher)
    try:
        program.start()
        first = harness.wait_for(lambda: server.requests_for("/info"), 30, step=0.001)
        if not first:
            raise RuntimeError("no request\n" + program.output())
        return (first[0][0] - program.started) * 1000
    finally:
        program.stop()
        program.cleanup()
        server.close()


def curl_run():
    """The same for curl started the same way: what any program pays to start and connect."""
    server = harness.Server({"/info": (200, "<html><body>bench</body></html>")})
    try:
        started = time.monotonic()
        curl = harness.subprocess.Popen(["curl", "-s", "-o", "/dev/null", server.url("/info")],
                                        stdin=harness.subprocess.DEVNULL)
        first = harness.wait_for(lambda: server.requests_for("/info"), 30, step=0.001)
        curl.wait(30)
        return (first[0][0] - started) * 1000
    finally:
        server.close()


def main():
    executable = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    one_run(executable)  # warm the page cache
    times = [one_run(executable) for _ in range(runs)]
    print("start to first request (ms): " + " ".join(f"{t:.0f}" for t in times))
    print(f"median {statistics.median(times):.0f} ms, min {min(times):.0f}, max {max(times):.0f}"
          f" over {runs} runs")
    curls = [curl_run() for _ in range(runs)]
    print(f"curl: median {statistics.median(curls):.0f} ms; program minus curl: "
          f"{statistics.median(times) - statistics.median(curls):.0f} ms")


if __name__ == "__main__":
    main()
