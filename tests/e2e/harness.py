"""Drives the real program: a folder of its own, a local HTTP server, X11 look-ups."""
import hashlib
import http.server
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")


class Server:
    """HTTP server on 127.0.0.1 recording each request; pages maps path -> (status, body).
    With validators, 200 answers carry an ETag and a matching If-None-Match gets a 304."""

    def __init__(self, pages=None, validators=False):
        self.pages = dict(pages or {})
        self.validators = validators
        self.requests = []  # (time, path, headers, status answered)
        self.lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                with outer.lock:
                    status, body = outer.pages.get(self.path, (404, b"not here"))
                    if isinstance(body, str):
                        body = body.encode()
                    etag = None
                    if outer.validators and status == 200:
                        etag = '"%s"' % hashlib.sha1(body).hexdigest()[:16]
                        if self.headers.get("If-None-Match") == etag:
                            status, body = 304, b""
                    outer.requests.append((time.monotonic(), self.path, dict(self.headers),
                                           status))
                self.send_response(status)
                if etag:
                    self.send_header("ETag", etag)
                if status != 304:
                    self.send_header("Content-Type", "text/html; charset=utf-8")
                    self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        class Quiet(http.server.ThreadingHTTPServer):
            def handle_error(self, request, client_address):
                pass  # a browser dropping its connection is no news

        self.httpd = Quiet(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def set_page(self, path, status, body):
        with self.lock:
            self.pages[path] = (status, body)

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def requests_for(self, path):
        with self.lock:
            return [r for r in self.requests if r[1] == path]

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def wait_for(predicate, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


class Program:
    """A copy of the executable in a temporary folder with its own Param.ini and user files."""

    def __init__(self, executable, param_ini=None, icon=None, user_conf=None, name="Tavorin",
                 launcher=()):
        self.launcher = list(launcher)  # e.g. Wine for the Windows program
        self.dir = tempfile.mkdtemp(prefix="tavorin-e2e-")
        self.exe = os.path.join(self.dir, name)
        shutil.copy2(executable, self.exe)
        viewer = os.path.join(os.path.dirname(executable), "tavorin-viewer")
        if os.path.exists(viewer):  # the program's part that shows pages
            shutil.copy2(viewer, self.dir)
        if param_ini is not None:
            with open(os.path.join(self.dir, "Param.ini"), "wb") as f:
                f.write(param_ini if isinstance(param_ini, bytes) else param_ini.encode())
        if icon:
            shutil.copy(os.path.join(DATA, icon), os.path.join(self.dir, "Info.ico"))
        self.home = os.path.join(self.dir, "home")
        os.makedirs(os.path.join(self.home, ".config", "Orbelia"))
        if user_conf is not None:
            with open(os.path.join(self.home, ".config", "Orbelia", "Quorvellis.conf"), "w") as f:
                f.write(user_conf)
        self.process = None
        self.log = os.path.join(self.dir, "program.log")

    def start(self, cwd=None, args=(), env_changes=None):
        """env_changes: variables to set, or to remove when their value is None."""
        env = dict(os.environ)
        for name, value in (env_changes or {}).items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        env["HOME"] = self.home
        env.pop("XDG_CONFIG_HOME", None)
        env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        env.setdefault("XDG_RUNTIME_DIR", self.dir)
        self.started = time.monotonic()
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(self.launcher + [self.exe, *args], cwd=cwd or "/", env=env, stdout=log,
                                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        return self

    def descendants(self):
        """Pids of every process below ours (the browser's helpers)."""
        return process_tree(self.process.pid)

    def stop(self, sig=signal.SIGTERM, timeout=15):
        if self.process and self.process.poll() is None:
            self.process.send_signal(sig)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode

    def output(self):
        with open(self.log, errors="replace") as f:
            return f.read()

    def cleanup(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


def process_tree(root):
    """Pids of every process below root."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    found, todo = [], [root]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def processes_named(*names):
    """Pids of the live processes whose command name is one of names."""
    found = set()
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/comm") as f:
                    if f.read().strip() in names and alive([int(entry)]):
                        found.add(int(entry))
            except OSError:
                pass
    return found


def alive(pids):
    result = []
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                if f.read().rsplit(")", 1)[1].split()[0] != "Z":
                    result.append(pid)
        except OSError:
            pass
    return result


def pss_kb(pid):
    """Proportional set size of one process in kB, 0 once it is gone."""
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def x_tree():
    return subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout


def tray_lines():
    """The lines of the window tree below the tray host's panel."""
    lines = x_tree().splitlines()
    for i, line in enumerate(lines):
        if '("panel" "trayer")' in line:
            depth = len(line) - len(line.lstrip())
            for inner in lines[i + 1:]:
                if inner.strip() and len(inner) - len(inner.lstrip()) <= depth:
                    return
                yield inner


def tray_holds(instance):
    """True when a window of WM_CLASS instance sits inside the tray host's panel."""
    return any(re.search(r'\("%s" ' % re.escape(instance), line) for line in tray_lines())


def window_geometry(instance):
    """(x, y, w, h) of the visible top-level window of that WM_CLASS instance, else None."""
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", instance],
                         capture_output=True, text=True).stdout.split()
    for wid in ids:
        info = subprocess.run(["xwininfo", "-id", wid], capture_output=True, text=True).stdout
        values = {k: int(v) for k, v in re.findall(
            r"(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s+(-?\d+)", info)}
        if values.get("Width", 0) > 100:
            return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                    values["Width"], values["Height"])
    return None


def _run(*args, timeout=10):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=timeout).stdout


def screen_size():
    info = _run("xwininfo", "-root")
    return (int(re.search(r"Width:\s+(\d+)", info).group(1)),
            int(re.search(r"Height:\s+(\d+)", info).group(1)))


def window_info(wid):
    """Geometry, map state, title and override-redirect of one window, None once gone."""
    info = subprocess.run(["xwininfo", "-id", str(wid)], capture_output=True, text=True,
                          timeout=10).stdout
    if "Map State" not in info:
        return None
    values = dict(re.findall(r"^\s*([A-Za-z -]+):\s+(.*)$", info, re.M))
    title = re.search(r"Window id: \S+ (.*)$", info, re.M).group(1)
    return {"x": int(values["Absolute upper-left X"]), "y": int(values["Absolute upper-left Y"]),
            "width": int(values["Width"]), "height": int(values["Height"]),
            "viewable": values["Map State"].strip() == "IsViewable",
            "override": values["Override Redirect State"].strip() == "yes",
            "title": title.strip('"') if title.startswith('"') else None}


def visible_windows(instance):
    """{window id: window_info} of the mapped windows of that WM_CLASS instance."""
    found = {}
    for wid in _run("xdotool", "search", "--onlyvisible", "--classname", instance).split():
        info = window_info(wid)
        if info and info["viewable"]:
            found[int(wid)] = info
    return found


def tray_icon_center(instance):
    """Screen position of the middle of that instance's icon in the tray host's panel."""
    for line in tray_lines():
        match = re.search(r'\("%s" .*?(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)'
                          % re.escape(instance), line)
        if match:
            w, h, x, y = map(int, match.groups())
            return (x + w // 2, y + h // 2)
    return None


def click(x, y, button=1):
    """A real press and release at that screen position (XTEST, as a user's mouse)."""
    _run("xdotool", "mousemove", str(x), str(y), "click", str(button))


def framed_window(instance, remembered, accept):
    """(window id, its info while mapped, else None) of the instance's framed window that
    accept(info) takes; the remembered one while it exists (each show may make a new one)."""
    if remembered is not None and window_info(remembered) is None:
        remembered = None
    if remembered is None:
        for wid, info in visible_windows(instance).items():
            if not info["override"] and accept(info):
                remembered = wid
    info = remembered and window_info(remembered)
    return remembered, (info if info and info["viewable"] else None)


def answer_yes(process, timeout=20):
    """Yes to the question in front; the program's exit code, or None if it did not end."""
    keys("y")
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        return None


def open_quit_question(right_click, why, exclude=()):
    """right_click() on the tray icon, then Quit in the menu: returns the question's window id
    (a window in exclude is never taken for it), activated for the answer."""
    before = set(visible_windows("Tavorin"))
    right_click()
    menu = wait_for(lambda: [
        wid for wid, info in visible_windows("Tavorin").items()
        if wid not in before and info["override"] and info["height"] > 50], 10)
    if not menu:
        raise AssertionError(why("no menu on a right click on the tray icon"))
    # Away from the menu, so that no item is under the pointer while keys choose one.
    move_pointer(10, 10)
    time.sleep(0.3)
    keys("Down", "Down", "Down", "Down", "Return")  # Show, Minimize, Create, Quit
    box = wait_for(lambda: [
        wid for wid, info in visible_windows("Tavorin").items()
        if wid not in exclude and not info["override"] and info["title"] == "Quorvellis"
        and info["width"] < 500], 10)
    if not box:
        raise AssertionError(why("no quit question"))
    activate(box[0])
    return box[0]


def move_pointer(x, y):
    _run("xdotool", "mousemove", str(x), str(y))


def keys(*names):
    _run("xdotool", "key", "--clearmodifiers", "--delay", "80", *names)


def active_window():
    return _run("xdotool", "getactivewindow").strip()


def type_through(shown, text="tavorin ", after=3, timeout=60):
    """Types text again and again into the focused window until shown() has held for after
    seconds: what was typed, or None if shown() never held."""
    typed, until, seen = "", time.monotonic() + timeout, False
    while time.monotonic() < until:
        _run("xdotool", "type", "--delay", "30", text)
        typed += text
        if not seen and shown():
            seen, until = True, time.monotonic() + after
    return typed if seen else None


def activate(wid, timeout=5):
    """Gives that window the keyboard focus through the window manager."""
    _run("xdotool", "windowactivate", str(wid))
    return wait_for(lambda: active_window() == str(wid), timeout)


def screenshot(x, y, width, height):
    """(width, height, RGB bytes) of that screen area, clipped to the screen."""
    screen_w, screen_h = screen_size()
    x0, y0 = max(x, 0), max(y, 0)
    x1, y1 = min(x + width, screen_w), min(y + height, screen_h)
    data = subprocess.run(["import", "-window", "root", "-crop",
                           f"{x1 - x0}x{y1 - y0}+{x0}+{y0}", "+repage", "-depth", "8", "ppm:-"],
                          capture_output=True, timeout=20, check=True).stdout
    # Binary PPM: "P6", width, height, maxval, one whitespace byte, then the pixels.
    fields, pos = [], 0
    while len(fields) < 4:
        match = re.compile(rb"\s*(#[^\n]*\n\s*)*(\S+)").match(data, pos)
        fields.append(match.group(2))
        pos = match.end()
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError(f"unexpected picture format {fields!r}")
    w, h = int(fields[1]), int(fields[2])
    return w, h, data[pos + 1:pos + 1 + w * h * 3]


def colour_share(picture, rgb, tolerance=8, inset=(0, 0, 0, 0), step=2):
    """Share of the pixels within tolerance of rgb, leaving out inset (left, top, right,
    bottom) pixels at the edges; every step-th pixel of every step-th row."""
    w, h, pixels = picture
    left, top, right, bottom = inset
    hits = total = 0
    for row in range(top, h - bottom, step):
        line = pixels[row * w * 3:(row + 1) * w * 3]
        for col in range(left, w - right, step):
            r, g, b = line[col * 3:col * 3 + 3]
            total += 1
            if abs(r - rgb[0]) <= tolerance and abs(g - rgb[1]) <= tolerance and \
                    abs(b - rgb[2]) <= tolerance:
                hits += 1
    return hits / total if total else 0.0


def window_state(wid):
    """What the window manager and the X server say about a window, for failure reports."""
    info = window_info(wid)
    props = _run("xprop", "-id", str(wid), "WM_STATE", "_NET_WM_STATE")
    return f"{info}\n{props.strip()}"


def executable_from_argv():
    """The program under test, taken off the command line; the tests need the test desktop."""
    executable = os.path.abspath(sys.argv.pop(1))
    if not os.environ.get("DISPLAY"):
        print("needs the virtual desktop of scripts/test.sh (DISPLAY is not set)")
        sys.exit(1)
    return executable
