#!/usr/bin/env python3
"""HTTP server of the download tests that misbehaves on purpose.

    fault_server.py --port P --root WWW [--pid-file F] [--lifetime SECONDS]

Listens on 127.0.0.1 only and serves the files under WWW over HTTP/1.1 with
keep-alive. The first path segment picks the behaviour, the numbers after it
are its arguments, the rest is the file relative to WWW (usually
<md5>/<name>). HEAD answers every behaviour with the same status and headers
as GET, without a body.

  /ok/<file>                   normal; Range bytes=a-b, a- and -n give 206
  /count/<file>                the same as /ok (a path of its own for counting)
  /drop/<N>/<file>             GET: headers, the first N body bytes of the
                               requested range, then the connection closes
  /dropfirst/<K>/<N>/<file>    the first K GETs of this exact path drop as
                               above, later ones are normal
  /stall/<S>/<N>/<file>        GET: N body bytes, S seconds of silence with the
                               socket open, then the connection closes
  /stallfirst/<K>/<S>/<N>/<file>  the first K GETs stall as above
  /status/<code>/<file>        that status with a small text body
  /badlen/<L>/<file>           announces Content-Length L but sends the whole
                               real file (Range ignored), then closes
  /loop/<file>                 302 to itself, forever
  /redirect/<file>             302 to /ok/<file>
  /norange/<file>              ignores Range: always 200 with the whole file
  /length/<L>/<file>           HEAD announces Content-Length L; GET is normal
  /mute/<S>/<file>             HEAD and GET: no answer at all for S seconds,
                               then the connection closes
  /mutefirst/<K>/<S>/<file>    the first K requests (HEAD or GET) mute as above

  GET http://<any host>/<path> HTTP/1.1   (proxy role)
      an absolute address in the request line is served as a forward proxy
      would: the host is ignored (it need not resolve) and <path> is served
      as above; a path without a behaviour is the plain file, as /ok

  GET /__stats?path=/drop/10/<md5>/<name>[&format=text]
      what that path received: {"path", "head", "get", "ranges": the Range
      header of each GET in order ("" when it had none), "proxied": how many
      requests came in the proxy role}; format=text gives lines head=N,
      get=N, one range=VALUE per GET and proxied=N
  GET /__reset[?path=...]   forgets the counters of one path or of all

Counters (stats and the K of dropfirst/stallfirst) live in memory, keyed by
the percent-decoded path without its query. Nothing is logged after the start
line: clients that hang up are part of the tests.
"""

import argparse
import json
import os
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHUNK = 64 * 1024

# Behaviour -> how many numeric arguments follow it in the path.
ARGUMENTS = {
    "ok": 0, "count": 0, "drop": 1, "dropfirst": 2, "stall": 2, "stallfirst": 3,
    "status": 1, "badlen": 1, "loop": 0, "redirect": 0, "norange": 0, "length": 1,
    "mute": 1, "mutefirst": 2,
}


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.paths = {}

    def _entry(self, path):
        return self.paths.setdefault(path, {"head": 0, "get": 0, "ranges": [], "proxied": 0})

    def record(self, path, method, range_header, proxied=False):
        """Counts a request; returns how many GETs the path had, this one included."""
        with self.lock:
            entry = self._entry(path)
            if proxied:
                entry["proxied"] += 1
            if method == "HEAD":
                entry["head"] += 1
            else:
                entry["get"] += 1
                entry["ranges"].append(range_header or "")
            return entry["get"]

    def get(self, path):
        with self.lock:
            entry = self.paths.get(path, {"head": 0, "get": 0, "ranges": [], "proxied": 0})
            return {"path": path, "head": entry["head"], "get": entry["get"], "ranges": list(entry["ranges"]),
                    "proxied": entry["proxied"]}

    def reset(self, path=None):
        with self.lock:
            if path:
                self.paths.pop(path, None)
            else:
                self.paths.clear()


def parse_range(header, size):
    """(start, end) inclusive for one satisfiable range, None when absent or
    not one we understand (served as 200), 'bad' when unsatisfiable."""
    if not header or not header.startswith("bytes=") or "," in header:
        return None
    first, sep, last = header[len("bytes="):].strip().partition("-")
    if not sep:
        return None
    try:
        if first == "":
            count = int(last)
            if count <= 0:
                return "bad"
            return (max(0, size - count), size - 1)
        start = int(first)
        end = int(last) if last else size - 1
    except ValueError:
        return None
    if start >= size or end < start:
        return "bad"
    return (start, min(end, size - 1))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fault-server"
    # Idle keep-alive connections give their thread back eventually.
    timeout = 120

    def log_message(self, format, *args):
        pass

    def handle(self):
        try:
            super().handle()
        except (ConnectionError, socket.timeout, OSError):
            pass

    def do_GET(self):
        self.serve(head=False)

    def do_HEAD(self):
        self.serve(head=True)

    # --- answers --------------------------------------------------------------

    def send_text(self, code, text, head, extra=()):
        body = text.encode("utf-8")
        self.send_response(code)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def send_json(self, value):
        body = json.dumps(value).encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def redirect(self, target, head):
        host = self.headers.get("Host") or "%s:%d" % self.server.server_address[:2]
        query = urllib.parse.urlsplit(self.path).query
        location = "http://" + host + urllib.parse.quote(target) + ("?" + query if query else "")
        self.send_text(302, "redirect\n", head, [("Location", location)])

    def send_file(self, file_path, head, honour_range=True, announced=None, head_length=None,
                  cut_after=None, stall_seconds=0, close=False):
        """The file, or the requested range of it. `cut_after` bytes of body
        end the connection early (after `stall_seconds` of silence)."""
        try:
            size = os.path.getsize(file_path)
            stream = open(file_path, "rb")
        except OSError:
            self.send_text(404, "no such file\n", head)
            return
        with stream:
            start, end, code = 0, size - 1, 200
            wanted = parse_range(self.headers.get("Range"), size) if honour_range else None
            if wanted == "bad":
                self.send_text(416, "range not satisfiable\n", head, [("Content-Range", "bytes */%d" % size)])
                return
            if wanted:
                start, end = wanted
                code = 206
            length = end - start + 1
            self.send_response(code)
            self.send_header("Content-Type", "application/octet-stream")
            if head and head_length is not None:
                self.send_header("Content-Length", str(head_length))
            else:
                self.send_header("Content-Length", str(announced if announced is not None else length))
            self.send_header("Accept-Ranges", "bytes" if honour_range else "none")
            self.send_header("Last-Modified", self.date_time_string(int(os.path.getmtime(file_path))))
            if code == 206:
                self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
            if close:
                self.send_header("Connection", "close")
            self.end_headers()
            if head:
                return
            to_send = length if cut_after is None else min(length, cut_after)
            stream.seek(start)
            while to_send > 0:
                block = stream.read(min(CHUNK, to_send))
                if not block:
                    break
                self.wfile.write(block)
                to_send -= len(block)
            if cut_after is not None and cut_after < length:
                if stall_seconds:
                    time.sleep(stall_seconds)
                # A hang-up without Connection: close, as a broken link looks.
                self.close_connection = True
                try:
                    self.connection.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass

    # --- dispatch -------------------------------------------------------------

    def serve(self, head):
        parts = urllib.parse.urlsplit(self.path)
        # An absolute target: the client takes this server for its proxy.
        proxied = bool(parts.scheme) and not self.path.startswith("/")
        path = urllib.parse.unquote(parts.path)
        query = urllib.parse.parse_qs(parts.query)
        stats = self.server.stats

        if path == "/__stats":
            if head:
                self.send_text(405, "GET only\n", head)
                return
            result = stats.get(query.get("path", [""])[0])
            if query.get("format", [""])[0] == "text":
                lines = ["head=%d" % result["head"], "get=%d" % result["get"]]
                lines += ["range=" + r for r in result["ranges"]]
                lines.append("proxied=%d" % result["proxied"])
                self.send_text(200, "\n".join(lines) + "\n", head)
            else:
                self.send_json(result)
            return
        if path == "/__reset":
            stats.reset(query.get("path", [""])[0] or None)
            self.send_text(200, "reset\n", head)
            return

        segments = path.lstrip("/").split("/")
        kind = segments[0]
        if proxied and kind not in ARGUMENTS:
            segments = ["ok"] + segments
            kind = "ok"
        if kind not in ARGUMENTS:
            self.send_text(404, "unknown behaviour\n", head)
            return
        count = ARGUMENTS[kind]
        try:
            numbers = [int(s) for s in segments[1:1 + count]]
        except ValueError:
            self.send_text(400, "bad argument\n", head)
            return
        rest = segments[1 + count:]
        if len(numbers) != count or not rest or any(s in ("", ".", "..") for s in rest):
            self.send_text(400, "bad path\n", head)
            return
        relative = "/".join(rest)
        file_path = os.path.join(self.server.root, *rest)
        gets = stats.record(path, self.command, self.headers.get("Range"), proxied)

        if kind in ("ok", "count"):
            self.send_file(file_path, head)
        elif kind == "drop":
            self.send_file(file_path, head, cut_after=numbers[0])
        elif kind == "dropfirst":
            k, n = numbers
            self.send_file(file_path, head, cut_after=n if not head and gets <= k else None)
        elif kind == "stall":
            s, n = numbers
            self.send_file(file_path, head, cut_after=n, stall_seconds=s)
        elif kind == "stallfirst":
            k, s, n = numbers
            faulty = not head and gets <= k
            self.send_file(file_path, head, cut_after=n if faulty else None, stall_seconds=s)
        elif kind == "status":
            self.send_text(numbers[0], "status %d\n" % numbers[0], head)
        elif kind == "badlen":
            self.send_file(file_path, head, honour_range=False, announced=numbers[0], close=True)
        elif kind == "loop":
            self.redirect(path, head)
        elif kind == "redirect":
            self.redirect("/ok/" + relative, head)
        elif kind == "norange":
            self.send_file(file_path, head, honour_range=False)
        elif kind == "length":
            self.send_file(file_path, head, head_length=numbers[0])
        elif kind == "mute":
            time.sleep(numbers[0])
            self.close_connection = True
        elif kind == "mutefirst":
            k, seconds = numbers
            seen = stats.get(path)
            if seen["head"] + seen["get"] <= k:
                time.sleep(seconds)
                self.close_connection = True
            else:
                self.send_file(file_path, head)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def handle_error(self, request, client_address):
        pass


def main():
    parser = argparse.ArgumentParser(description="HTTP server with faults for the download tests")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--pid-file")
    parser.add_argument("--lifetime", type=float, default=0,
                        help="exit after this many seconds (0: never), so an aborted run leaves nothing behind")
    args = parser.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    server.root = os.path.abspath(args.root)
    server.stats = Stats()
    if args.pid_file:
        with open(args.pid_file + ".tmp", "w") as f:
            f.write("%d\n" % os.getpid())
        os.replace(args.pid_file + ".tmp", args.pid_file)
    if args.lifetime > 0:
        timer = threading.Timer(args.lifetime, server.shutdown)
        timer.daemon = True
        timer.start()
    print("fault server on 127.0.0.1:%d serving %s" % (args.port, server.root), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
