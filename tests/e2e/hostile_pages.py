"""A server of hostile pages for the notification window, and the memory and CPU they cost.
The program's own poll of /info gets a small page that brings the hostile part in (an
inline script, or a frame on a hostile address); any other client asking for /info (the
browser fetching the page again) gets the hostile body itself."""
import http.server
import os
import struct
import threading
import time
import zlib

import harness

LINE = b"<p>" + b"a" * 1000 + b"</p>\n"
BLOCK = LINE * 1000  # about 1 MB

SCRIPTS = {
    # Keeps both kinds of memory: JavaScript arrays and buffers outside the script heap.
    "alloc": "const kept = []; (function grow() { for (let i = 0; i < 8; ++i) {"
             " kept.push(new Uint8Array(1 << 20).fill(i + 1));"
             " kept.push(new Array(1 << 17).fill(i)); } setTimeout(grow, 0); })();",
    "busy": "addEventListener('load', () => setTimeout(() => { for (;;) {} }, 100));",
    "alert": "addEventListener('load', () => { for (let i = 0; i < 1e6; ++i) alert(i); });",
}
STREAMED = ("stream", "gzip", "big")
KINDS = STREAMED + tuple(SCRIPTS)
COLOUR = "#2060e0"


def wrapper(kind):
    """What the program's poll gets for that kind."""
    inner = (f'<iframe src="/hostile/{kind}" width="200" height="100"></iframe>' if kind in STREAMED
             else f"<script>{SCRIPTS[kind]}</script>")
    return (f'<html><body style="margin:0;background:{COLOUR}"><p style="margin:150px 0 0 80px">'
            f"{kind}</p>{inner}</body></html>").encode()


def gzip_bomb(megabytes=1024):
    """A gzip body of about 1 MB that inflates to megabytes of HTML."""
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    piece = compressor.compress(BLOCK) + compressor.flush(zlib.Z_FULL_FLUSH)
    end = compressor.flush()
    crc = 0
    for _ in range(megabytes):
        crc = zlib.crc32(BLOCK, crc)
    header = b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff"
    trailer = struct.pack("<II", crc, (len(BLOCK) * megabytes) & 0xFFFFFFFF)
    # A full flush leaves no history behind, so every block compresses to the same bytes.
    return header + piece * megabytes + end + trailer


class HostileServer:
    def __init__(self):
        self.kind = "alloc"
        self.requests = []  # (time, path, user agent)
        self.lock = threading.Lock()
        self._bomb = None
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.0"

            def do_GET(self):
                agent = self.headers.get("User-Agent", "")
                with outer.lock:
                    outer.requests.append((time.monotonic(), self.path, agent))
                    kind = outer.kind
                try:
                    if self.path == "/info":
                        if agent.startswith("Tavorin/"):
                            self.answer(wrapper(kind))
                        else:
                            self.hostile(kind)
                    elif self.path.startswith("/hostile/"):
                        self.hostile(self.path.rsplit("/", 1)[1])
                    else:
                        self.answer(b"not here", 404)
                except OSError:
                    pass  # the browser gave up on it

            def answer(self, body, status=200, headers=()):
                self.send_response(status)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                for name, value in headers:
                    self.send_header(name, value)
                self.end_headers()
                self.wfile.write(body)

            def hostile(self, kind):
                if kind in SCRIPTS:
                    self.answer(wrapper(kind).replace(b"/hostile/", b"/none/"))
                elif kind == "gzip":
                    self.answer(outer.bomb(), headers=[("Content-Encoding", "gzip")])
                elif kind == "big":
                    count = 100
                    self.send_response(200)
                    self.send_header("Content-Type", "text/html; charset=utf-8")
                    self.send_header("Content-Length", str(len(BLOCK) * count))
                    self.end_headers()
                    for _ in range(count):
                        self.wfile.write(BLOCK)
                elif kind == "stream":
                    self.send_response(200)
                    self.send_header("Content-Type", "text/html; charset=utf-8")
                    self.end_headers()  # no length: the body ends when the server closes
                    while True:
                        self.wfile.write(BLOCK)
                else:
                    self.answer(b"no such page", 404)

            def log_message(self, *args):
                pass

        class Quiet(http.server.ThreadingHTTPServer):
            daemon_threads = True

            def handle_error(self, request, client_address):
                pass

        self.httpd = Quiet(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def bomb(self):
        with self.lock:
            if self._bomb is None:
                self._bomb = gzip_bomb()
            return self._bomb

    def url(self, path="/info"):
        return f"http://127.0.0.1:{self.port}{path}"

    def set_kind(self, kind):
        with self.lock:
            self.kind = kind

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def cpu_seconds(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return 0.0


class Usage:
    """Summed PSS (MB) and CPU seconds of the program and its helpers; helpers that have ended
    take their CPU with them, so CPU is summed per sample over the processes alive."""

    def __init__(self, program):
        self.program = program

    def pids(self):
        return [self.program.process.pid] + self.program.descendants()

    def memory_mb(self):
        return sum(harness.pss_kb(pid) for pid in self.pids()) / 1024

    def cpu_share(self, seconds):
        """Share of one core used over the next few seconds."""
        before = {pid: cpu_seconds(pid) for pid in self.pids()}
        time.sleep(seconds)
        used = sum(cpu_seconds(pid) - before.get(pid, 0.0) for pid in self.pids())
        return max(used, 0.0) / seconds

