"""One-connection HTTP peer for the client's tests, on 127.0.0.1 only.

Usage: scripted_server.py SCENARIO. Prints "port N" once listening, reads the
request, sends the scenario's pieces with a pause after each, then exits.
Every wait is bounded so a stuck client cannot keep it alive.
"""
import socket
import sys
import time

BODY = bytes((i * 31 + 7) & 0xFF for i in range(5000))


def head(length=None, extra=b""):
    text = b"HTTP/1.1 200 OK\r\nServer: scripted\r\n" + extra
    if length is not None:
        text += b"Content-Length: %d\r\n" % length
    return text + b"\r\n"


def cut_after_cr(text):
    pieces = text.split(b"\r")
    return [p + b"\r" for p in pieces[:-1]] + [pieces[-1]]


def pieces(scenario):
    """(bytes, seconds to wait after them) for each send."""
    if scenario == "byte_by_byte":
        return [(bytes([b]), 0.001) for b in head(len(BODY))] + [(BODY, 0)]
    if scenario == "split_after_cr":
        # Each read on the client side ends right after a CR.
        parts = cut_after_cr(head(len(BODY), b"X-One: 1\r\nX-Two: 2\r\n"))
        return [(p, 0.05) for p in parts[:-1]] + [(parts[-1] + BODY, 0)]
    return {
        "early_close": [(head(len(BODY)) + BODY[:3000], 0)],
        "beyond_length": [(head(len(BODY)) + BODY + b"TRAILING GARBAGE" * 100, 0.2)],
        "no_length": [(head() + BODY, 0)],
        "stall_head": [(b"HTTP/1.1 200 OK\r\nContent-Len", 3)],
        "stall_body": [(head(len(BODY)) + BODY[:100], 3)],
    }[scenario]


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    listener.settimeout(10)
    print("port %d" % listener.getsockname()[1], flush=True)
    conn, _ = listener.accept()
    conn.settimeout(10)
    # Every send leaves at once, so the client's reads end where the script cuts.
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    request = b""
    while b"\r\n\r\n" not in request:
        piece = conn.recv(4096)
        if not piece:
            break
        request += piece
    for data, pause in pieces(sys.argv[1]):
        conn.sendall(data)
        time.sleep(pause)
    conn.close()


if __name__ == "__main__":
    main()
