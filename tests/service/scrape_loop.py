"""Scrapes a metrics endpoint on loopback from several threads at once,
each asking again as soon as an answer is complete, for a bounded time.

    scrape_loop.py PORT SECONDS THREADS

Prints the number of complete answers and of failed ones."""
import socket
import sys
import threading
import time

port, seconds, threads = int(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
end = time.monotonic() + seconds
counts = {"answers": 0, "failures": 0}
lock = threading.Lock()


def scrape():
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        head = s.recv(64)
        while s.recv(1 << 20):
            pass
    return head.startswith(b"HTTP/1.1 200 OK\r\n")


def loop():
    while time.monotonic() < end:
        try:
            ok = scrape()
        except OSError:
            ok = False
        with lock:
            counts["answers" if ok else "failures"] += 1


workers = [threading.Thread(target=loop) for _ in range(threads)]
for worker in workers:
    worker.start()
for worker in workers:
    worker.join()
print(counts["answers"], counts["failures"])
