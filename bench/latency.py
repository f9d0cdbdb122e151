"""How soon the window answers: from a changed page's download to that page painted in the
shown window, and from a tray click to the window shown again (mapped, then painted).
Usage: python3 bench/latency.py build/Tavorin [samples] [label]   (needs DISPLAY; see
bench/latency.sh). Screen checks poll as fast as a screenshot goes (some tens of ms)."""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402
from memory import PADDING, fail, param_ini, tray_click  # noqa: E402

COLOURS = [(0x20, 0x60, 0xE0), (0xE0, 0x80, 0x20)]


def page(rgb):
    return (f'<html><body style="margin:0;background:#{"%02x%02x%02x" % rgb}">'
            + "<p>News of the day.</p>" * 200 + PADDING + "</body></html>")


def painted(rgb):
    """Time the window showed that colour, polled until then (None after 30 s)."""
    def check():
        geometry = harness.window_geometry("Tavorin")
        if not geometry:
            return False
        x, y, w, h = geometry
        # A patch in the page's part, clear of the button row.
        picture = harness.screenshot(x + w // 4, y + h // 2, 40, 20)
        return harness.colour_share(picture, rgb, step=4) > 0.9
    return time.monotonic() if harness.wait_for(check, 30, step=0) else None


def hide(program):
    tray_click(program)
    if not harness.wait_for(lambda: not harness.window_geometry("Tavorin"), 10):
        fail(program, "not hidden")


def run(executable, samples):
    server = harness.Server({"/info": (200, page(COLOURS[0]))}, validators=True)
    program = harness.Program(executable, param_ini=param_ini(server)).start()
    changed, shown, redrawn = [], [], []
    try:
        if not painted(COLOURS[0]):
            fail(program, "page not shown")
        for i in range(1, samples + 1):
            rgb = COLOURS[i % 2]
            hide(program)
            time.sleep(2)  # settled, as a user's hidden program is
            answered = len(server.requests_for("/info"))
            server.set_page("/info", 200, page(rgb))
            # The poll that downloads the changed page: its request is the start.
            request = harness.wait_for(
                lambda: [r for r in server.requests_for("/info")[answered:] if r[3] == 200
                         and r[2].get("User-Agent", "").startswith("Tavorin/")], 30, step=0.01)
            if not request:
                fail(program, "no download of the changed page")
            done = painted(rgb)
            if not done:
                fail(program, "changed page not painted")
            changed.append((done - request[0][0]) * 1000)

            hide(program)
            time.sleep(2)
            center = harness.tray_icon_center("Tavorin")
            clicked = time.monotonic()
            harness.click(*center)
            harness.move_pointer(200, 200)
            if not harness.wait_for(lambda: harness.window_geometry("Tavorin"), 10, step=0):
                fail(program, "not shown again")
            shown.append((time.monotonic() - clicked) * 1000)
            done = painted(rgb)
            if not done:
                fail(program, "page not painted again")
            redrawn.append((done - clicked) * 1000)
            time.sleep(0.8)
        return changed, shown, redrawn
    finally:
        program.cleanup()
        server.close()


def main():
    executable = os.path.abspath(sys.argv[1])
    samples = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    label = sys.argv[3] if len(sys.argv) > 3 else os.path.basename(executable)
    changed, shown, redrawn = run(executable, samples)
    print(f"== {label}: ms, median (min-max) of {samples}")
    for name, values in (("changed download -> page painted", changed),
                         ("tray click -> window shown", shown),
                         ("tray click -> page painted", redrawn)):
        print(f"  {name:34s} {statistics.median(values):6.0f}  ({min(values):.0f}-{max(values):.0f})")


if __name__ == "__main__":
    main()
