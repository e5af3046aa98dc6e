"""One-connection HTTP peer for the client's tests, on 127.0.0.1 only.

Usage: scripted_server.py SCENARIO. Prints "port N" once listening, serves a
single connection the way SCENARIO says, then exits. Every wait is bounded so
a stuck client cannot keep it alive.
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


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        piece = conn.recv(4096)
        if not piece:
            break
        data += piece
    return data


def byte_by_byte(conn):
    for b in head(len(BODY)):
        conn.sendall(bytes([b]))
        time.sleep(0.001)
    conn.sendall(BODY)


def split_after_cr(conn):
    # Each read on the client side ends right after a CR.
    text = head(len(BODY), b"X-One: 1\r\nX-Two: 2\r\n")
    cut = 0
    while True:
        at = text.find(b"\r", cut)
        if at < 0:
            break
        conn.sendall(text[cut:at + 1])
        time.sleep(0.05)
        cut = at + 1
    conn.sendall(text[cut:] + BODY)


def early_close(conn):
    conn.sendall(head(len(BODY)) + BODY[:3000])


def beyond_length(conn):
    conn.sendall(head(len(BODY)) + BODY + b"TRAILING GARBAGE" * 100)
    time.sleep(0.2)


def no_length(conn):
    conn.sendall(head() + BODY)


def stall_head(conn):
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Len")
    time.sleep(3)


def stall_body(conn):
    conn.sendall(head(len(BODY)) + BODY[:100])
    time.sleep(3)


SCENARIOS = {
    "byte_by_byte": byte_by_byte,
    "split_after_cr": split_after_cr,
    "early_close": early_close,
    "beyond_length": beyond_length,
    "no_length": no_length,
    "stall_head": stall_head,
    "stall_body": stall_body,
}


def main():
    scenario = sys.argv[1]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    listener.settimeout(10)
    print("port %d" % listener.getsockname()[1], flush=True)
    conn, _ = listener.accept()
    conn.settimeout(10)
    # Every send leaves at once, so the client's reads end where the script cuts.
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    read_request(conn)
    SCENARIOS[scenario](conn)
    conn.close()


if __name__ == "__main__":
    main()
