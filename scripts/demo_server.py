"""Serves a small demo info page on 127.0.0.1; writes the chosen port to argv[1].
The page's text changes every two minutes, so the notification comes back now and then."""
import http.server
import sys
import time

PAGE = """<!doctype html><html><head><meta charset="utf-8"><title>Info</title>
<style>body{{font-family:sans-serif;background:#fffbe6;margin:12px}}h1{{color:#1f5fbf}}</style>
</head><body><h1>Tavorin demo</h1><p>This page is served on your own machine.</p>
<p>Edition {edition}: the text changes every two minutes.</p></body></html>"""


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        body = PAGE.format(edition=int(time.time() // 120) % 1000).encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[1], "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
