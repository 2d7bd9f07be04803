#!/usr/bin/python3
"""An HTTP sink on 127.0.0.1 for the notification channel tests, in a process
of its own. It plays the peer of every HTTP channel kind (webhook, DingTalk,
Feishu, WeCom, Telegram with its API base pointed here, ntfy) and records
every request it reads.

Usage: channel-sink.py [CERTIFICATE KEY]

With a certificate and its key it speaks HTTPS, else plain HTTP. The first
path segment chooses the answer:

  /ok/...      200 with a JSON body every kind takes as accepted
               (errcode 0, code 0, ok true)
  /fail/...    500
  /refuse/...  200 with a JSON body every kind takes as refused: errcode
               310000, code 19021, ok false, each with its text
  /text/...    200 with a body that is not JSON
  /quote/...   200 with a refusal that quotes the whole request (path, query
               and body) back in errmsg, msg and description
  /silent/...  no answer at all; the connection stays open
  /fails-N/... 500 to the first N requests for that path, then as /ok/

Prints "port N" once listening. Each line "requests" read from standard
input is answered with one line: a JSON list of the requests read so far,
each {"method", "path", "query", "headers" (names in lower case), "body"}.
It ends when standard input closes.
"""

import http.server
import json
import ssl
import sys
import threading
import urllib.parse

lock = threading.Lock()
recorded = []
ending = threading.Event()

ACCEPTED = {"errcode": 0, "errmsg": "ok", "code": 0, "msg": "success", "ok": True,
            "result": {"message_id": 1}}
REFUSED = {"errcode": 310000, "errmsg": "keywords not in content",
           "code": 19021, "msg": "sign match fail or timestamp is not within one hour",
           "ok": False, "error_code": 401, "description": "Unauthorized"}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *arguments):
        pass

    def reply(self, status, body, content_type="application/json"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def handle_request(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        url = urllib.parse.urlsplit(self.path)
        with lock:
            recorded.append({
                "method": self.command,
                "path": url.path,
                "query": url.query,
                "headers": {name.lower(): value for name, value in self.headers.items()},
                "body": body.decode("utf-8", "replace"),
            })
        route = url.path.split("/")[1] if url.path.count("/") >= 1 else ""
        if route.startswith("fails-"):
            with lock:
                earlier = sum(1 for r in recorded if r["path"] == url.path) - 1
            route = "fail" if earlier < int(route[len("fails-"):]) else "ok"
        if route == "ok":
            self.reply(200, json.dumps(ACCEPTED).encode())
        elif route == "fail":
            self.reply(500, b'{"error":"internal"}')
        elif route == "refuse":
            self.reply(200, json.dumps(REFUSED).encode())
        elif route == "quote":
            quoted = self.path + " " + body.decode("utf-8", "replace")
            self.reply(200, json.dumps({"errcode": 1, "errmsg": quoted, "code": 1, "msg": quoted,
                                        "ok": False, "description": quoted}).encode())
        elif route == "text":
            self.reply(200, b"accepted", "text/plain")
        elif route == "silent":
            ending.wait()
            self.close_connection = True
        else:
            self.reply(404, b"not found", "text/plain")

    do_POST = do_PUT = do_GET = handle_request


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
            print(json.dumps(recorded, ensure_ascii=True), flush=True)
    ending.set()


if __name__ == "__main__":
    main()
