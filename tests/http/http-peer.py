#!/usr/bin/python3
"""An HTTP peer on 127.0.0.1 for the HTTP probe tests, in a process of its own.

Usage: http-peer.py [CERTIFICATE KEY]

With a certificate and its key it speaks HTTPS, else plain HTTP. Routes:

  /ok            200 with the body "servermon ok body"
  /status/N      status N with a short body
  /redirect      302 to /ok
  /redirect-3    three redirects, then /ok
  /loop          302 to itself, forever
  /json          200 with a JSON health document
  /slow          waits 5 s before its reply
  /gzip          200 with a gzip-compressed body
  /endless       200 with a body that never ends
  /echo          200 with the request's method, headers and body, one per line
  /late          the first byte of the reply 300 ms after the request
  /gbk           200 with a GBK body, so said in its Content-Type

Prints "port N" once listening. Every line read from standard input asks for
"requests N": the requests whose head was read so far. It ends when standard
input closes.
"""

import gzip
import http.server
import json
import ssl
import sys
import threading
import time

lock = threading.Lock()
counts = {"requests": 0}

HEALTH = {"status": "up", "checks": [{"name": "db", "ok": True, "ms": 12}], "load": 0.5,
          "version": "2.1"}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *arguments):
        pass

    def reply(self, status, body, content_type="text/plain; charset=utf-8", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def redirect(self, location):
        self.reply(302, b"moved", extra=[("Location", location)])

    def handle_request(self):
        with lock:
            counts["requests"] += 1
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        path = self.path
        if path == "/ok":
            self.reply(200, b"servermon ok body")
        elif path.startswith("/status/"):
            self.reply(int(path[8:]), b"status " + path[8:].encode())
        elif path == "/redirect":
            self.redirect("/ok")
        elif path.startswith("/redirect-"):
            left = int(path[10:])
            self.redirect("/ok" if left <= 1 else "/redirect-%d" % (left - 1))
        elif path == "/loop":
            self.redirect("/loop")
        elif path == "/json":
            self.reply(200, json.dumps(HEALTH).encode(), "application/json")
        elif path == "/slow":
            time.sleep(5)
            self.reply(200, b"servermon slow body")
        elif path == "/gzip":
            self.reply(200, gzip.compress(b"servermon compressed body " * 100),
                       extra=[("Content-Encoding", "gzip")])
        elif path == "/endless":
            self.endless()
        elif path == "/echo":
            lines = ["METHOD " + self.command]
            lines += ["HEADER %s: %s" % (name.lower(), value) for name, value in self.headers.items()]
            lines.append("BODY " + body.decode("utf-8", "replace"))
            self.reply(200, "\n".join(lines).encode())
        elif path == "/late":
            time.sleep(0.3)
            self.reply(200, b"servermon late body")
        elif path == "/gbk":
            self.reply(200, "服务器正常".encode("gbk"), "text/plain; charset=gbk")
        else:
            self.reply(404, b"not found")

    def endless(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Connection", "close")
        self.end_headers()
        chunk = b"servermon endless body " * 1000
        try:
            while True:
                self.wfile.write(chunk)
        except OSError:
            pass
        self.close_connection = True

    do_GET = do_HEAD = do_POST = do_PUT = handle_request


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if len(sys.argv) == 3:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[1], sys.argv[2])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("port", server.server_address[1], flush=True)
    for _ in sys.stdin:
        with lock:
            print("requests", counts["requests"], flush=True)


if __name__ == "__main__":
    main()
