#!/usr/bin/env python3
"""Relays one loopback port to another and keeps both directions' bytes.

    wire-recorder.py TARGET_PORT OUT_FILE

Prints the port it listens on, then serves until killed. OUT_FILE gets, per
connection in order, "> " + client bytes and "< " + server bytes as they
come (Python repr, one chunk per line), so two runs compare as text.
"""
import socket
import sys
import threading

target_port = int(sys.argv[1])
out = open(sys.argv[2], "w", buffering=1)
lock = threading.Lock()

listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(8)
print(listener.getsockname()[1], flush=True)


def pump(source, sink, mark, log):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            log.append((mark, data))
            sink.sendall(data)
    except OSError:
        pass
    finally:
        try:
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass


while True:
    client, _ = listener.accept()
    server = socket.create_connection(("127.0.0.1", target_port))
    log = []
    threads = [threading.Thread(target=pump, args=(client, server, ">", log)),
               threading.Thread(target=pump, args=(server, client, "<", log))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    client.close()
    server.close()
    # Chunking depends on timing: join each direction's bytes per connection.
    with lock:
        for mark in (">", "<"):
            out.write(mark + " " + repr(b"".join(d for m, d in log if m == mark)) + "\n")
        out.write("--\n")
