"""The update server of the end-to-end tests: answers autocheck.php from
reply-<id> files in its folder, serves the other files there, and plays a
broken server under the prefixes /404/, /stall/ and /cut/ (/cutonce/ cuts
only the first time). Every request
path goes to the file "log", one a line. Prints its port once it listens."""
import http.server
import os
import sys
import time
import urllib.parse

ROOT = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, body, announced=None):
        self.send_response(200)
        self.send_header("Content-Length", str(len(body) if announced is None else announced))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def do_GET(self):
        with open(os.path.join(ROOT, "log"), "a") as log:
            log.write(self.path + "\n")
        url = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(url.path)
        if path.startswith("/stall/"):
            time.sleep(120)
            return
        if path.startswith("/404/"):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if path == "/autocheck.php":
            ident = urllib.parse.parse_qs(url.query).get("softwareid", [""])[0]
            name = os.path.join(ROOT, "reply-" + ident)
            if ident.startswith("stall"):
                time.sleep(120)
                return
        else:
            name = os.path.join(ROOT, os.path.basename(path))
        if not os.path.isfile(name):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with open(name, "rb") as f:
            body = f.read()
        once = os.path.join(ROOT, "cut-once-done")
        if path.startswith("/cutonce/") and not os.path.exists(once):
            open(once, "w").close()
            path = "/cut/"
        if path.startswith("/cut/"):
            self.send_body(body[: len(body) // 2], len(body))
            self.close_connection = True
            return
        self.send_body(body)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
