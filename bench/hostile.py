"""Memory and CPU of the program showing hostile pages, and how a tray click gets rid of them.
Usage: python3 bench/hostile.py build/Tavorin [seconds shown] [label]   (see bench/hostile.sh)
For each page: the window brought up by a changed poll, the summed PSS of the program and its
helpers sampled every second while shown (its peak), the CPU share over the last 5 s shown, the
time from a tray click to the window gone, then PSS and CPU once hidden. A run stops early past
2.5 GB, so as not to take the machine."""
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import harness  # noqa: E402
import hostile_pages  # noqa: E402

LIMIT_MB = 2500


def shown_window():
    for wid, info in harness.visible_windows("Tavorin").items():
        if not info["override"] and info["width"] > 300:
            return wid
    return None


def run(executable, server, kind, seconds):
    server.set_kind(kind)
    program = harness.Program(executable, param_ini=(
        f"[Param]\nPage={server.url()}\nLangue=en\nDelaiInfo=0\n")).start()
    usage = hostile_pages.Usage(program)
    result = {"kind": kind}
    try:
        if not harness.wait_for(shown_window, 40, step=0.2):
            result["error"] = "never shown"
            return result
        shown_at = time.monotonic()
        peak = 0.0
        while time.monotonic() - shown_at < seconds - 5:
            peak = max(peak, usage.memory_mb())
            if peak > LIMIT_MB:
                result["stopped early"] = round(time.monotonic() - shown_at)
                break
            time.sleep(1)
        if "stopped early" not in result:
            result["cpu shown"] = usage.cpu_share(5)
            peak = max(peak, usage.memory_mb())
        result["peak MB"] = peak
        center = harness.wait_for(lambda: harness.tray_icon_center("Tavorin"), 10)
        clicked = time.monotonic()
        harness.click(*center)
        harness.move_pointer(200, 200)
        if harness.wait_for(lambda: not shown_window(), 10, step=0.02):
            result["hide s"] = time.monotonic() - clicked
        else:
            result["hide s"] = None
        time.sleep(5)
        result["hidden MB"] = usage.memory_mb()
        result["cpu hidden"] = usage.cpu_share(3)
        result["browser fetches of /info"] = len(
            [r for r in server.requests if r[1] == "/info" and not r[2].startswith("Tavorin/")])
        return result
    finally:
        program.cleanup()
        with server.lock:
            server.requests.clear()


def main():
    executable = os.path.abspath(sys.argv[1])
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 25
    label = sys.argv[3] if len(sys.argv) > 3 else executable
    kinds = sys.argv[4].split(",") if len(sys.argv) > 4 else list(hostile_pages.KINDS)
    server = hostile_pages.HostileServer()
    print(f"== {label}: {seconds} s shown per page; PSS summed over the process tree")
    print(f"  {'page':7s} {'peak MB':>8s} {'CPU shown':>9s} {'hide s':>7s} {'hidden MB':>9s} "
          f"{'CPU hidden':>10s}  notes")
    try:
        for kind in kinds:
            r = run(executable, server, kind, seconds)
            if "error" in r:
                print(f"  {kind:7s} {r['error']}")
                continue
            hide = "never" if r["hide s"] is None else f"{r['hide s']:.2f}"
            cpu = f"{r['cpu shown']:.0%}" if "cpu shown" in r else "-"
            notes = [f"browser fetched /info {r['browser fetches of /info']}x"]
            if "stopped early" in r:
                notes.append(f"past {LIMIT_MB} MB after {r['stopped early']} s, stopped")
            print(f"  {kind:7s} {r['peak MB']:8.0f} {cpu:>9s} {hide:>7s} {r['hidden MB']:9.0f} "
                  f"{r['cpu hidden']:10.0%}  {'; '.join(notes)}", flush=True)
    finally:
        server.close()


if __name__ == "__main__":
    main()
