#!/usr/bin/env python3
"""A stand-in for the pool operator's web API: serves a pool catalogue over HTTP or HTTPS.

Usage: serve.py [--port N] [--catalogue FILE] [--record FILE] [--status N] [--tls PEM]

Every request is answered from the catalogue file at /api/2.3/pool/config (404 elsewhere).
With --record, each request is appended to FILE as one JSON line (client address, method,
path, headers, body), so tests can check what the program sent and from where. --port 0 picks
a free port; the chosen port is printed as the first line on stdout. With --tls, it speaks HTTPS
with the certificate and key in PEM; a client that breaks off the handshake (a certificate it
does not trust) is recorded as {"tls-error": reason}.
"""
import argparse
import json
import os
import ssl
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HERE = os.path.dirname(os.path.abspath(__file__))
CATALOGUE_PATH = "/api/2.3/pool/config"


def make_handler(args):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def _record(self, body):
            self._record_entry({
                "client": self.client_address[0],
                "method": self.command,
                "path": self.path,
                "headers": [[k, v] for k, v in self.headers.items()],
                "body": body.decode("utf-8", "replace"),
            })

        def _record_entry(self, entry):
            if args.record:
                with open(args.record, "a", encoding="utf-8") as f:
                    f.write(json.dumps(entry) + "\n")

        # A client that refuses the certificate either breaks off the handshake or, checking the
        # certificate only after it (Windows' Schannel), closes before sending a request.
        def handle(self):
            try:
                if args.tls:
                    self.connection.do_handshake()
                    if not self.rfile.peek(1):
                        return self._record_entry({"tls-error": "closed before a request"})
                super().handle()
            except ssl.SSLError as error:
                self._record_entry({"tls-error": error.reason})

        def _answer(self):
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length > 0 else b""
            self._record(body)
            if self.path.split("?")[0] == CATALOGUE_PATH:
                with open(args.catalogue, "rb") as f:
                    payload = f.read()
                status = args.status
            else:
                payload, status = b'{"error":"not found"}', 404
            self.send_response(status)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(payload)))
            self.end_headers()
            self.wfile.write(payload)

        do_GET = _answer
        do_POST = _answer

        def log_message(self, fmt, *a):
            sys.stderr.write("samplepool: " + (fmt % a) + "\n")

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=8765)
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--catalogue", default=os.path.join(HERE, "catalogue.json"))
    parser.add_argument("--record")
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--tls", metavar="PEM")
    args = parser.parse_args()
    server = ThreadingHTTPServer((args.bind, args.port), make_handler(args))
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls)
        # The handshake in the handler's thread, where a refused one can be recorded.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
