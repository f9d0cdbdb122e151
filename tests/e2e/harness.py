"""Drives the real program: a folder of its own, a local HTTP server, X11 look-ups."""
import http.server
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")


class Server:
    """HTTP server on 127.0.0.1 recording each request; pages maps path -> (status, body)."""

    def __init__(self, pages=None):
        self.pages = dict(pages or {})
        self.requests = []  # (time, path, headers)
        self.lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                with outer.lock:
                    outer.requests.append((time.monotonic(), self.path, dict(self.headers)))
                    status, body = outer.pages.get(self.path, (404, b"not here"))
                if isinstance(body, str):
                    body = body.encode()
                self.send_response(status)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

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

    def __init__(self, executable, param_ini=None, icon=None, user_conf=None, name="Tavorin"):
        self.dir = tempfile.mkdtemp(prefix="tavorin-e2e-")
        self.exe = os.path.join(self.dir, name)
        shutil.copy2(executable, self.exe)
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

    def start(self, cwd=None):
        env = dict(os.environ)
        env["HOME"] = self.home
        env.pop("XDG_CONFIG_HOME", None)
        env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        env.setdefault("XDG_RUNTIME_DIR", self.dir)
        self.started = time.monotonic()
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen([self.exe], cwd=cwd or "/", env=env, stdout=log,
                                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        return self

    def descendants(self):
        """Pids of every process below ours (the browser's helpers)."""
        children = {}
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open(f"/proc/{entry}/stat") as f:
                        ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                    children.setdefault(ppid, []).append(int(entry))
                except (OSError, IndexError, ValueError):
                    pass
        found, todo = [], [self.process.pid]
        while todo:
            for child in children.get(todo.pop(), []):
                found.append(child)
                todo.append(child)
        return found

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


def x_tree():
    return subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout


def tray_holds(instance):
    """True when a window of WM_CLASS instance sits inside the tray host's panel."""
    lines = x_tree().splitlines()
    for i, line in enumerate(lines):
        if '("panel" "trayer")' in line:
            depth = len(line) - len(line.lstrip())
            for inner in lines[i + 1:]:
                if inner.strip() and len(inner) - len(inner.lstrip()) <= depth:
                    break
                if re.search(r'\("%s" ' % re.escape(instance), inner):
                    return True
    return False


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
