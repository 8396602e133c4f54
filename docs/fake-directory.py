#!/usr/bin/env python3
"""A directory and pal server that answers from a fixed cast, for the user guide's screenshots.

Usage: fake-directory.py DIRECTORY_PORT PAL_PORT

The directory welcomes every login and lists the cast; the pal server hands out user ID 4711 and
answers e-mail lookups: the cast's addresses are online, any other is not. Lines end in "<ET>".
"""
import socketserver
import sys
import threading

CAST = [
    # id, name, location, address, comment, video, audio, port
    (101, "Bo Costa", "Porto", "192.168.1.23", "Coffee at ten?", True, True, 2000),
    (102, "Chiara Rossi", "Bologna", "10.0.0.14", "Italian lessons, evenings", True, True, 2000),
    (103, "Dmitri Volkov", "Tartu", "10.0.0.31", "Chess by video", True, False, 2004),
    (104, "Emma Schulz", "Graz", "192.168.7.2", "", False, True, 2000),
    (105, "Farid Haddad", "Marseille", "10.1.4.9", "Guitar practice partner wanted", True, True,
     2000),
    (106, "Grace Mensah", "Accra", "10.2.0.5", "Hello from the harbour", True, True, 2000),
    (107, "Hiro Tanaka", "Sapporo", "10.3.8.1", "Night owl", False, False, 2000),
]
EMAILS = {"bo@example.org": 0, "chiara@example.org": 1, "grace@example.org": 5}


def user_list():
    fields = [str(len(CAST) + 3), str(len(CAST))]
    for uid, name, place, address, comment, video, audio, port in CAST:
        fields += [str(uid), name, place, address, comment, "0", "YES" if video else "NO",
                   "YES" if audio else "NO", "0", str(port)]
    return "LS1;" + "".join(f + ";" for f in fields) + "<ET>"


def lookup(email):
    i = EMAILS.get(email.lower())
    if i is None:
        return f"GER;{email};;;0.0.0.0;0;<ET>"
    _, name, place, address, _, _, _, port = CAST[i]
    return f"GER;{email};{name};{place};{address};{port};<ET>"


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        buffer = b""
        while True:
            data = self.request.recv(4096)
            if not data:
                return
            buffer += data
            while b"<ET>" in buffer:
                line, buffer = buffer.split(b"<ET>", 1)
                answer = self.answer(line.decode("utf-8", "replace"))
                if answer:
                    self.request.sendall(answer.encode("utf-8"))

    def answer(self, line):
        command = line[:3]
        if command == "INT":
            return "INT;Welcome to the Lisbon OVELA directory.;<ET>"
        if command == "LS1":
            return user_list()
        if command == "GEM":
            return lookup(line.split(";")[1] if ";" in line else "")
        if command == "RSN":
            return "NSN;4711;<ET>"
        return None


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def main():
    servers = [Server(("127.0.0.1", int(port)), Handler) for port in sys.argv[1:3]]
    for s in servers:
        threading.Thread(target=s.serve_forever, daemon=True).start()
    threading.Event().wait()


if __name__ == "__main__":
    main()
