"""Memory of the running program: PSS summed over the process and all its descendants
(the browser's helpers), in the states it spends its life in.
Usage: python3 bench/memory.py build/Tavorin [runs] [label] [hide and show cycles]
(needs DISPLAY; see bench/memory.sh)
Settings for a variant go through the environment (QT_XCB_GL_INTEGRATION=xcb_glx, ...)."""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402

COLOUR = (0x20, 0x60, 0xE0)
# PAGE_BYTES=3000000 pads the page with blanks by about that much (a large page).
PADDING = " " * int(os.environ.get("PAGE_BYTES", "0"))
PAGE = ('<html><body style="margin:0;background:#2060e0">'
        + "<p>News of the day.</p>" * 200 + PADDING + "</body></html>")


def engine_loaded(pids):
    """Whether any of those processes maps the browser engine's library."""
    for pid in pids:
        try:
            with open(f"/proc/{pid}/maps") as f:
                if "libQt6WebEngineCore" in f.read():
                    return True
        except OSError:
            pass
    return False


def measure(program, settle=4.0, samples=3):
    """(total MB, main process MB, helper count, engine in the main process, engine in the
    tree): median of a few samples once settled."""
    time.sleep(settle)
    totals, mains, helpers = [], [], 0
    for _ in range(samples):
        children = program.descendants()
        helpers = len(children)
        main = harness.pss_kb(program.process.pid)
        totals.append((main + sum(harness.pss_kb(pid) for pid in children)) / 1024)
        mains.append(main / 1024)
        time.sleep(1)
    children = program.descendants()
    return (statistics.median(totals), statistics.median(mains), helpers,
            engine_loaded([program.process.pid]), engine_loaded(children))


def fail(program, text):
    raise RuntimeError(f"{text}\n{program.output()}")


def tray_click(program):
    center = harness.wait_for(lambda: harness.tray_icon_center("Tavorin"), 20)
    if not center:
        fail(program, "no tray icon")
    time.sleep(0.8)  # never a double click
    harness.click(*center)
    harness.move_pointer(200, 200)


def drawn(program):
    def check():
        geometry = harness.window_geometry("Tavorin")
        if not geometry:
            return False
        picture = harness.screenshot(*geometry)
        return harness.colour_share(picture, COLOUR, inset=(3, 30, 3, 3)) > 0.9
    return harness.wait_for(check, 30, step=0.5)


def param_ini(server):
    return f"[Param]\nPage={server.url('/info')}\nLangue=en\nDelaiInfo=0\n"


def run_before_notification(executable):
    """Only failing downloads: the tray icon, never a page (no browser view)."""
    server = harness.Server({"/info": (500, "down")})
    program = harness.Program(executable, param_ini=param_ini(server)).start()
    try:
        if not harness.wait_for(lambda: harness.tray_icon_center("Tavorin"), 20):
            fail(program, "no tray icon")
        if not harness.wait_for(lambda: server.requests_for("/info"), 20):
            fail(program, "no request")
        return measure(program)
    finally:
        program.cleanup()
        server.close()


def configuration_window():
    for wid in harness._run("xdotool", "search", "--onlyvisible", "--name", "^Tavorin$").split():
        info = harness.window_info(wid)
        if info and info["viewable"] and info["width"] > 600:
            return int(wid)
    return None


def run_configuration(executable):
    """No notification; the configuration window opened, its page preview shown, then the
    window closed: {state: figures}."""
    server = harness.Server({"/info": (500, "down")})
    program = harness.Program(executable, param_ini=param_ini(server)).start()
    try:
        center = harness.wait_for(lambda: harness.tray_icon_center("Tavorin"), 20)
        if not center or not harness.wait_for(lambda: server.requests_for("/info"), 20):
            fail(program, "no tray icon or no request")
        time.sleep(1)
        harness.click(*center, button=3)
        time.sleep(0.5)
        harness.keys("Down", "Down", "Down", "Return")  # Show, Minimize, Create
        window = harness.wait_for(configuration_window, 20)
        if not window:
            fail(program, "no configuration window")
        figures = {"configuration window open": measure(program, settle=6)}
        # Its page test button (twips on the first tab, from the tab control's corner).
        info = harness.window_info(window)
        left, top, width, height = 120 + 8640, 120 + 930, 1215, 330
        harness.click(info["x"] + (left + width // 2) // 15, info["y"] + (top + height // 2) // 15)
        figures["configuration, page previewed"] = measure(program, settle=6)
        harness.activate(window)
        harness.keys("alt+F4")
        if not harness.wait_for(lambda: not configuration_window(), 10):
            fail(program, "configuration window still open")
        figures["configuration window closed"] = measure(program, settle=6)
        return figures
    finally:
        program.cleanup()
        server.close()


def run_cycle(executable, cycles=3):
    """Shown, then hidden and shown again a few times: {state: figures}."""
    server = harness.Server({"/info": (200, PAGE)}, validators=True)
    program = harness.Program(executable, param_ini=param_ini(server)).start()
    figures = {}
    try:
        if not drawn(program):
            fail(program, "page not shown")
        figures["shown"] = measure(program)
        for cycle in range(1, cycles + 1):
            tray_click(program)
            if not harness.wait_for(lambda: not harness.window_geometry("Tavorin"), 10):
                fail(program, "not hidden")
            if cycle in (1, cycles):
                figures[f"hidden, cycle {cycle}"] = measure(program)
            loads = len(server.requests_for("/info"))
            tray_click(program)
            for _ in range(3):
                if harness.wait_for(lambda: harness.window_geometry("Tavorin"), 5):
                    break
                # Left iconic by the window manager: the program counts it as shown, so one
                # click hides it for good and the next shows it again.
                figures["retried shows"] = figures.get("retried shows", 0) + 1
                tray_click(program)
                tray_click(program)
            if not drawn(program):
                fail(program, f"page did not come back after hiding (cycle {cycle})")
            figures.setdefault("page loaded again on show", []).append(
                len(server.requests_for("/info")) > loads)
        return figures
    finally:
        program.cleanup()
        server.close()


def main():
    executable = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    label = sys.argv[3] if len(sys.argv) > 3 else os.path.basename(executable)
    cycles = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    states = {}
    reloads = []
    retried = 0
    for _ in range(runs):
        states.setdefault("before any notification", []).append(run_before_notification(executable))
        for state, value in run_configuration(executable).items():
            states.setdefault(state, []).append(value)
        for state, value in run_cycle(executable, cycles).items():
            if state == "page loaded again on show":
                reloads += value
            elif state == "retried shows":
                retried += value
            else:
                states.setdefault(state, []).append(value)
    print(f"== {label}: PSS in MB, median of {runs} runs (total over the process tree / main "
          "process / helper processes / engine loaded: in the main process, anywhere)")
    for state, values in states.items():
        total = statistics.median(v[0] for v in values)
        main_mb = statistics.median(v[1] for v in values)
        engine = "".join("yn"[not v] for v in values[-1][3:5])
        print(f"  {state:26s} {total:6.0f}  {main_mb:6.0f}  {values[-1][2]:2d}  {engine}"
              f"   (runs: {' '.join(f'{v[0]:.0f}' for v in values)})")
    print(f"  page drawn again after every hide and show; a new request for it on "
          f"{sum(reloads)} of {len(reloads)} shows; {retried} shows left iconic and retried")


if __name__ == "__main__":
    main()
