"""Tavorin.exe under Wine beside the Linux program, in the same run: the executable's size,
process start to first request (pairs of runs, one of each, interleaved), and the memory of
the Wine process while its window is hidden.
Usage: python3 bench/windows.py build-windows/Tavorin.exe build/Tavorin [runs]
(needs DISPLAY with a tray host, WINEPREFIX and TAVORIN_WINE; see bench/windows.sh)"""
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402
import startup  # noqa: E402

WINE = os.environ.get("TAVORIN_WINE", "wine")


def rollup_kb(pid, field):
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def wine_processes():
    """{pid: command} of Wine's own processes (wineserver, explorer.exe, services...)."""
    found = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    command = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            except OSError:
                continue
            if "wineserver" in command or command.lower().startswith("c:\\windows\\"):
                found[int(entry)] = command
    return found


def wine_run(executable):
    """One start-up run under Wine, then the wait until Wine's explorer has let the killed
    program's icon go: a new icon docked before that waits for it."""
    elapsed = startup.one_run(executable, [WINE])
    harness.wait_for(lambda: not harness.tray_holds("explorer.exe"), 20)
    return elapsed


def hidden_memory(executable):
    """(PSS MB, RSS MB) of the Tavorin.exe process, and PSS MB of Wine's own processes, once
    the first download has shown the window and a tray click has hidden it again."""
    server = harness.Server({"/info": (200, "<html><body>bench</body></html>")})
    program = harness.Program(executable, param_ini=f"[Param]\r\nPage={server.url('/info')}\r\n",
                              name="Tavorin.exe", launcher=[WINE]).start()
    try:
        # Shown without taking the keyboard, Wine maps it override-redirect.
        shown = lambda: [i for i in harness.visible_windows("tavorin.exe").values()  # noqa: E731
                         if i["width"] > 300 and i["height"] > 300]
        if not harness.wait_for(shown, 30):
            raise RuntimeError("window not shown\n" + program.output())
        for _ in range(3):
            center = harness.wait_for(lambda: harness.tray_icon_center("explorer.exe"), 20)
            harness.move_pointer(*center)
            time.sleep(0.3)
            harness._run("xdotool", "click", "1")
            harness.move_pointer(200, 200)
            if harness.wait_for(lambda: not shown(), 4):
                break
        else:
            raise RuntimeError("a tray click did not hide the window")
        time.sleep(3)
        pid = program.process.pid
        samples = []
        for _ in range(3):
            wine_pss = sum(rollup_kb(p, "Pss") for p in wine_processes())
            samples.append((rollup_kb(pid, "Pss") / 1024, rollup_kb(pid, "Rss") / 1024,
                            wine_pss / 1024))
            time.sleep(1)
        return tuple(statistics.median(s[i] for s in samples) for i in range(3))
    finally:
        program.cleanup()
        server.close()


def main():
    windows_exe, linux_exe = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    print(f"Tavorin.exe: {os.path.getsize(windows_exe):,} bytes "
          f"({os.path.getsize(windows_exe) / 1024 / 1024:.2f} MB)")
    wine_run(windows_exe)  # warm Wine's prefix and the page cache
    startup.one_run(linux_exe)
    wine_times, linux_times = [], []
    for _ in range(runs):
        wine_times.append(wine_run(windows_exe))
        linux_times.append(startup.one_run(linux_exe))
    for label, times in (("Tavorin.exe under Wine", wine_times), ("Linux build", linux_times)):
        print(f"start to first request, {label}: median {statistics.median(times):.0f} ms, "
              f"min {min(times):.0f}, max {max(times):.0f} over {runs} runs")
    pss, rss, wine_pss = hidden_memory(windows_exe)
    print(f"hidden after one notification: Tavorin.exe process PSS {pss:.1f} MB, RSS {rss:.1f} MB;"
          f" Wine's own processes (wineserver, explorer...) PSS {wine_pss:.1f} MB more")


if __name__ == "__main__":
    main()
