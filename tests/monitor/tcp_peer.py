#!/usr/bin/env python3
"""A TCP peer on 127.0.0.1 for the socket probe tests, in a process of its own.

Usage: tcp_peer.py MODE
  reset-on-accept   reset every connection as soon as it is accepted
  reset-after-read  read the request, then reset the connection
  close-after-read  read the request, then close the connection in order
  stream            send without end until the client goes

Prints "port N" once listening. Every line read from standard input asks for
the number of connections accepted so far: the peer first accepts what is
waiting, then prints "accepted N". It ends when standard input closes.
"""

import select
import socket
import struct
import sys

CHUNK = b"x" * 65536


def reset(connection):
    connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    connection.close()


def main():
    mode = sys.argv[1]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    listener.setblocking(False)
    print("port", listener.getsockname()[1], flush=True)

    accepted = 0
    readers = []  # connections whose request is awaited
    writers = []  # streaming connections

    def accept_waiting():
        nonlocal accepted
        while True:
            try:
                connection, _ = listener.accept()
            except BlockingIOError:
                return
            accepted += 1
            if mode == "reset-on-accept":
                reset(connection)
            elif mode == "stream":
                connection.setblocking(False)
                writers.append(connection)
            else:
                readers.append(connection)

    while True:
        readable, writable, _ = select.select([listener, sys.stdin] + readers, writers, [], 120)
        if not readable and not writable:
            return  # nobody asked for anything for a long time
        for source in readable:
            if source is listener:
                accept_waiting()
            elif source is sys.stdin:
                if not sys.stdin.readline():
                    return
                accept_waiting()
                print("accepted", accepted, flush=True)
            else:
                readers.remove(source)
                try:
                    source.recv(65536)
                except OSError:
                    pass
                if mode == "reset-after-read":
                    reset(source)
                else:
                    source.close()
        for connection in writable:
            try:
                connection.send(CHUNK)
            except OSError:
                writers.remove(connection)
                connection.close()


if __name__ == "__main__":
    main()
