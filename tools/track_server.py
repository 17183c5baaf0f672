#!/usr/bin/env python3
"""A small track server for clubs that host their own tracks.

Pacewright downloads track profiles from, and uploads them to, a track server below the base
url http://HOST[:PORT]/automatic/tracks/ . This script is such a server, using only the Python 3
standard library:

  GET  /automatic/tracks/index.php   the track index, built from the tracks folder
  GET  /automatic/tracks/<file>      one track file of the tracks folder
  POST /automatic/tracks/send.php    an uploaded track (multipart form with the fields
                                     "email", "description" and the file "attachment"),
                                     stored in the inbox folder; the reply is "Success."

Usage:

  python3 tools/track_server.py --tracks DIR --inbox DIR [--host 0.0.0.0] [--port 8080]

and point Pacewright at it:

  PACEWRIGHT_TRACK_SERVER=http://HOST:8080/automatic/tracks/ pacewright

The tracks folder holds one sub-folder per group (a country, a region, a club series), each
holding track files named "<track name>-track.bin" as Pacewright writes them (its
Pacewright/Tracks/ folder). Files directly in the tracks folder are listed under the group
"Other". The line under each track name in the download view is the first line of an optional
"<track name>-track.txt" beside the file, else the number of traps read from the file.

Uploads are written to the inbox as "<time>-<track name>-track.bin" with a ".txt" beside it
holding the sender's address and description; nothing is published before a person has looked
at it and moved it into the tracks folder. The first line printed is the base url being served
(with --port 0 a free port is chosen), so that scripts and tests can find it.
"""

import argparse
import datetime
import os
import re
import struct
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BASE_PATH = "/automatic/tracks/"
TRACK_SUFFIX = "-track.bin"
BOUNDARY_RE = re.compile(r'boundary="?([^";]+)"?', re.IGNORECASE)
MAX_UPLOAD_BYTES = 1024 * 1024  # track files are a few kilobytes
OTHER_GROUP = "Other"
FORBIDDEN_NAME_CHARS = set('\\/:*?"<>|')


def trap_count(path):
    """The trap count of a track file's header, or None when it is not a track file."""
    try:
        with open(path, "rb") as f:
            head = f.read(10)
    except OSError:
        return None
    if len(head) < 10:
        return None
    version, _locked, count = struct.unpack("<ihi", head)
    if version not in (1, 2) or count < 0:
        return None
    return count


def one_line(text):
    """Index fields may not hold the separator or line ends."""
    return " ".join(text.replace(";", ",").split())


def build_index(tracks_dir):
    """The index: one "file;group/name;detail" line per track, ended by CR LF."""
    entries = []
    for root, dirs, files in os.walk(tracks_dir):
        dirs[:] = sorted(d for d in dirs if not d.startswith("."))
        rel_root = os.path.relpath(root, tracks_dir)
        depth = 0 if rel_root == "." else rel_root.count(os.sep) + 1
        if depth >= 1:
            dirs[:] = []  # groups are one level deep
        group = OTHER_GROUP if depth == 0 else rel_root
        for name in sorted(files):
            if not name.endswith(TRACK_SUFFIX) or name.startswith("."):
                continue
            track = name[: -len(TRACK_SUFFIX)]
            path = os.path.join(root, name)
            count = trap_count(path)
            if count is None or not track:
                continue
            detail = "%d traps" % count
            note = path[: -len(".bin")] + ".txt"
            if os.path.isfile(note):
                with open(note, encoding="utf-8", errors="replace") as f:
                    first = one_line(f.readline())
                if first:
                    detail = first
            rel = name if depth == 0 else rel_root + "/" + name
            entries.append((group, track, urllib.parse.quote(rel), detail))
    entries.sort(key=lambda e: (e[0].lower(), e[1].lower()))
    lines = ["%s;%s/%s;%s\r\n" % (f, one_line(g), one_line(t), d) for g, t, f, d in entries]
    return "".join(lines).encode("utf-8")


def parse_multipart(body, boundary):
    """The parts of a multipart/form-data body: {name: (filename or None, bytes)}."""
    parts = {}
    delimiter = b"--" + boundary
    for chunk in body.split(delimiter)[1:]:
        if chunk.startswith(b"--"):
            break  # the closing boundary
        if chunk.startswith(b"\r\n"):
            chunk = chunk[2:]
        head, sep, value = chunk.partition(b"\r\n\r\n")
        if not sep:
            continue
        if value.endswith(b"\r\n"):
            value = value[:-2]
        name = filename = None
        for line in head.split(b"\r\n"):
            key, _, rest = line.decode("utf-8", "replace").partition(":")
            if key.strip().lower() != "content-disposition":
                continue
            for param in rest.split(";"):
                k, _, v = param.strip().partition("=")
                v = urllib.parse.unquote(v.strip().strip('"'))
                if k == "name":
                    name = v
                elif k == "filename":
                    filename = v
        if name is not None:
            parts[name] = (filename, value)
    return parts


def safe_track_name(name):
    cleaned = "".join("_" if c in FORBIDDEN_NAME_CHARS or ord(c) < 32 else c for c in name).strip()
    return cleaned[:100] or "track"


class TrackHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "PacewrightTrackServer/1.0"

    def log_message(self, fmt, *args):
        if not self.server.quiet:
            sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

    def reply(self, status, body, content_type="text/plain; charset=utf-8"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        if not path.startswith(BASE_PATH):
            return self.reply(404, b"Not found.\r\n")
        rel = urllib.parse.unquote(path[len(BASE_PATH):])
        if rel == "index.php":
            return self.reply(200, build_index(self.server.tracks_dir))
        base = os.path.realpath(self.server.tracks_dir)
        target = os.path.realpath(os.path.join(base, rel))
        # Only track files inside the tracks folder, whatever the path says.
        if (not target.startswith(base + os.sep) or not target.endswith(TRACK_SUFFIX)
                or not os.path.isfile(target)):
            return self.reply(404, b"Not found.\r\n")
        with open(target, "rb") as f:
            data = f.read()
        self.reply(200, data, "application/octet-stream")

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        if path != BASE_PATH + "send.php":
            return self.reply(404, b"Not found.\r\n")
        try:
            length = int(self.headers.get("Content-Length", ""))
        except ValueError:
            return self.reply(411, b"Length required.\r\n")
        if length < 0 or length > MAX_UPLOAD_BYTES:
            return self.reply(413, b"Too large.\r\n")
        match = BOUNDARY_RE.search(self.headers.get("Content-Type", ""))
        if not match:
            return self.reply(400, b"Not a form.\r\n")
        body = self.rfile.read(length)
        parts = parse_multipart(body, match.group(1).encode("ascii", "replace"))
        email = parts.get("email", (None, b""))[1].decode("utf-8", "replace").strip()
        description = parts.get("description", (None, b""))[1].decode("utf-8", "replace").strip()
        filename, data = parts.get("attachment", (None, b""))
        if not email or not description or not filename or not data:
            return self.reply(200, b"Missing field.\r\n")
        stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S-%f")
        stem = os.path.join(self.server.inbox_dir, "%s-%s" % (stamp, safe_track_name(filename)))
        with self.server.inbox_lock:
            with open(stem + TRACK_SUFFIX, "wb") as f:
                f.write(data)
            with open(stem + "-track.txt", "w", encoding="utf-8") as f:
                f.write("%s\n%s\n" % (one_line(email), description))
        self.reply(200, b"Success.\r\n")


def main(argv=None):
    parser = argparse.ArgumentParser(description="Serve Pacewright track profiles.")
    parser.add_argument("--tracks", required=True, help="folder of groups of track files")
    parser.add_argument("--inbox", required=True, help="folder that receives uploads")
    parser.add_argument("--host", default="0.0.0.0", help="address to listen on")
    parser.add_argument("--port", type=int, default=8080, help="port (0: any free port)")
    parser.add_argument("--quiet", action="store_true", help="do not log requests")
    args = parser.parse_args(argv)

    os.makedirs(args.inbox, exist_ok=True)
    server = ThreadingHTTPServer((args.host, args.port), TrackHandler)
    server.daemon_threads = True
    server.tracks_dir = args.tracks
    server.inbox_dir = args.inbox
    server.inbox_lock = threading.Lock()
    server.quiet = args.quiet
    host, port = server.server_address[:2]
    print("http://%s:%d%s" % (host, port, BASE_PATH), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
