#!/usr/bin/python3
"""A TLS peer on 127.0.0.1 for the TLS probe tests, in a process of its own.

Usage: tls-peer.py MODE [CERTIFICATE KEY]

  plain             answers a request line in plaintext
  tls               TLS from the first byte, then answers a request line
  starttls-smtp     the STARTTLS exchange of SMTP, IMAP, POP3 or FTP, then
  starttls-imap       TLS, then answers a request line
  starttls-pop3
  starttls-ftp
  refuse-starttls   SMTP that answers STARTTLS with 454
  flood-greeting    an SMTP greeting of 4 MB
  garbage           answers the ClientHello with plaintext
  stall             reads the ClientHello and never answers
  reset             reads the ClientHello and resets the connection

A request line is answered "OK " followed by the line's bytes in hex, so the
test sees exactly what arrived. Prints "port N" once listening. Every line
read from standard input asks for "accepted N read M": the connections
accepted so far and those whose first bytes were read. It ends when standard
input closes.
"""

import socket
import ssl
import struct
import sys
import threading

MODE = sys.argv[1]
lock = threading.Lock()
counts = {"accepted": 0, "read": 0}

DIALOGUES = {
    "starttls-smtp": (b"220-svc.test ESMTP\r\n220 ready\r\n",
                      [(b"EHLO servermon", b"250-svc.test\r\n250-SIZE 1000\r\n250 STARTTLS\r\n"),
                       (b"STARTTLS", b"220 go ahead\r\n")]),
    "starttls-imap": (b"* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n",
                      [(b"a1 CAPABILITY", b"* CAPABILITY IMAP4rev1 STARTTLS\r\na1 OK done\r\n"),
                       (b"a2 STARTTLS", b"a2 OK begin TLS\r\n")]),
    "starttls-pop3": (b"+OK ready\r\n",
                      [(b"CAPA", b"+OK list follows\r\nUSER\r\nSTLS\r\n.\r\n"),
                       (b"STLS", b"+OK begin TLS\r\n")]),
    "starttls-ftp": (b"220-welcome\r\n to the test\r\n220 ready\r\n",
                     [(b"AUTH TLS", b"234 proceed\r\n")]),
    "refuse-starttls": (b"220 ready\r\n",
                        [(b"EHLO servermon", b"250 STARTTLS\r\n"),
                         (b"STARTTLS", b"454 TLS not available\r\n")]),
}


def note(key):
    with lock:
        counts[key] += 1


def read_line(connection):
    line = b""
    while not line.endswith(b"\n") and len(line) < 65536:
        piece = connection.recv(1)
        if not piece:
            break
        line += piece
    return line


def answer(connection):
    line = read_line(connection)
    if line:
        connection.sendall(b"OK " + line.hex().encode() + b"\r\n")
    wait_for_close(connection)


def wait_for_close(connection):
    connection.settimeout(60)
    while connection.recv(4096):
        pass


def handle(connection, context):
    try:
        if MODE in ("garbage", "stall", "reset"):
            if connection.recv(65536):
                note("read")
            if MODE == "garbage":
                connection.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
                wait_for_close(connection)
            elif MODE == "stall":
                wait_for_close(connection)
            else:
                connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                      struct.pack("ii", 1, 0))
            return
        if MODE == "flood-greeting":
            line = b"220-" + b"x" * 1000 + b"\r\n"
            for _ in range(4096):
                connection.sendall(line)
            return
        if MODE in DIALOGUES:
            greeting, steps = DIALOGUES[MODE]
            connection.sendall(greeting)
            for expected, reply in steps:
                if read_line(connection).rstrip(b"\r\n") != expected:
                    return
                note("read")
                connection.sendall(reply)
            if MODE == "refuse-starttls":
                wait_for_close(connection)
                return
        if MODE == "plain":
            answer(connection)
            return
        with context.wrap_socket(connection, server_side=True) as secured:
            answer(secured)
    except (OSError, ValueError):
        pass
    finally:
        connection.close()


def serve(listener, context):
    while True:
        connection, _ = listener.accept()
        note("accepted")
        threading.Thread(target=handle, args=(connection, context), daemon=True).start()


def main():
    context = None
    if len(sys.argv) > 3:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    threading.Thread(target=serve, args=(listener, context), daemon=True).start()
    print("port", listener.getsockname()[1], flush=True)
    for _ in sys.stdin:
        with lock:
            print("accepted", counts["accepted"], "read", counts["read"], flush=True)


if __name__ == "__main__":
    main()
