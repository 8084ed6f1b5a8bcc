#!/usr/bin/env python3
"""The real nolt-host holding a large library: import through the capture inbox, start-up, and
every command through the raw command port, beside plain-SQL floors on a copy of the database.

Usage: scale.py BUILD_DIR [--before BIN_DIR] [--sizes 20000,100000] [--runs 7]
  cmake --preset release -DNOLT_BENCHMARKS=ON && cmake --build build --target nolt-host
  python3 bench/host/scale.py build --sizes 100000

For each size N, a fresh HOME gets the demo library (two spaces, four collections), then N
capture folders are dropped into the inbox as the capture programs write them (links, texts and
small images, with spaces, collections, tags and notes) and the host is started on them. Notes
of their own are added with add_note. Then each command is timed through the port (medians),
and the same questions are put to a copy of the database in plain SQL.

--before BIN_DIR runs an older nolt-host (BIN_DIR/nolt-host) on the same library, written back
in the first schema, and prints its row beside the new one; its import is timed only up to
--before-import-max items, as it slows with the square of the library.
"""
import argparse
import json
import os
import random
import shutil
import signal
import socket
import sqlite3
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import uuid
import zlib

REFERENCE_DATE = 978307200  # 2001-01-01T00:00:00Z in seconds since 1970

COMMON_WORD = "studio"     # about 5% of titles
THREE_WORDS = "red oak chair"
TAG = "inspiration"        # about 5% of items


def tiny_png(seed):
    """A 4x4 RGB picture: enough for the host to read its size and colours."""
    rnd = random.Random(seed)
    colour = bytes(rnd.randrange(256) for _ in range(3))
    raw = b"".join(b"\x00" + colour * 4 for _ in range(4))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


class Host:
    """One nolt-host in a HOME of its own."""

    def __init__(self, binary, home):
        self.binary, self.home = binary, home
        self.runtime = os.path.join(home, "run")
        os.makedirs(self.runtime, mode=0o700, exist_ok=True)
        self.env = {"HOME": home, "XDG_RUNTIME_DIR": self.runtime, "PATH": "/usr/bin:/bin",
                    "XDG_DATA_HOME": os.path.join(home, ".local/share"),
                    "QT_QPA_PLATFORM": "offscreen"}
        self.container = os.path.join(home, ".local/share/group.app.nolt")
        self.inbox = os.path.join(self.container, "Incoming")
        self.database = os.path.join(self.container, "Library", "library.sqlite")
        self.socket = os.path.join(self.runtime, "group.app.nolt.cli")
        self.process = None

    def start(self, *arguments):
        """Starts it; returns seconds until the port answers."""
        began = time.perf_counter()
        self.process = subprocess.Popen([self.binary, *arguments], env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 600
        while time.time() < deadline:
            try:
                self.exchange("spaces", {})
                return time.perf_counter() - began
            except OSError:
                if self.process.poll() is not None:
                    break
                time.sleep(0.002)
        sys.exit("%s did not start" % self.binary)

    def stop(self):
        """SIGTERM; returns seconds until it exited."""
        began = time.perf_counter()
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=120)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        return time.perf_counter() - began

    def exchange(self, command, arguments):
        return self.decode(self.exchange_raw(command, arguments), command)

    @staticmethod
    def decode(data, command):
        reply = json.loads(data)
        if reply.get("error"):
            raise RuntimeError("%s: %s" % (command, reply["error"]))
        return reply.get("result")

    def exchange_raw(self, command, arguments):
        """The reply's bytes: what the port exchange costs, without decoding the reply here."""
        payload = json.dumps({"command": command, "arguments": arguments}).encode()
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.settimeout(600)
            s.connect(self.socket)
            s.sendall(struct.pack(">II", 0, len(payload)) + payload)
            header = b""
            while len(header) < 4:
                part = s.recv(4 - len(header))
                if not part:
                    raise OSError("the host hung up")
                header += part
            size = struct.unpack(">I", header)[0]
            data = bytearray()
            while len(data) < size:
                part = s.recv(min(1 << 20, size - len(data)))
                if not part:
                    raise OSError("the host hung up")
                data += part
        return data

    def rss_mib(self):
        with open("/proc/%d/status" % self.process.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
        return 0

    def inbox_count(self):
        try:
            return len(os.listdir(self.inbox))
        except FileNotFoundError:
            return 0


def drop_captures(host, count, destinations, seed):
    """`count` capture folders in the inbox, as the capture programs leave them."""
    rnd = random.Random(seed)
    os.makedirs(host.inbox, mode=0o700, exist_ok=True)
    words = ["w%04d" % i for i in range(3000)]
    tags = ["tag%03d" % i for i in range(300)]
    sites = ["https://site%03d.example/" % i for i in range(400)]
    now = time.time() - REFERENCE_DATE
    for n in range(count):
        title = [rnd.choice(words) for _ in range(rnd.randint(2, 5))]
        if rnd.random() < 0.05:
            title.append(COMMON_WORD)
        for word in THREE_WORDS.split():
            if rnd.random() < 0.08:
                title.append(word)
        request = {"title": " ".join(title),
                   "tags": rnd.sample(tags, rnd.randint(0, 3)) +
                   ([TAG] if rnd.random() < 0.05 else []),
                   "note": "", "createdAt": now - rnd.random() * 3 * 365 * 86400}
        place = rnd.random()
        if place < 0.6:
            collection = rnd.choice(destinations["collections"])
            request["collectionID"] = collection["id"]
        elif place < 0.9:
            request["spaceID"] = rnd.choice(destinations["spaces"])["id"]
        if rnd.random() < 0.2:
            request["note"] = " ".join(rnd.choice(words) for _ in range(8))
        kind = rnd.random()
        folder = os.path.join(host.inbox, str(uuid.UUID(int=rnd.getrandbits(128))).upper())
        os.mkdir(folder, 0o700)
        if kind < 0.7:
            request["kind"] = "link"
            request["url"] = rnd.choice(sites) + "page/%d" % n
        elif kind < 0.9:
            request["kind"] = "text"
            request["text"] = " ".join(rnd.choice(words) for _ in range(30))
        else:
            request["kind"] = "file"
            request["fileName"] = "picture%d.png" % n
            request["sourceURL"] = rnd.choice(sites)
            with open(os.path.join(folder, request["fileName"]), "wb") as f:
                f.write(tiny_png(n % 500))
        with open(os.path.join(folder, "request.json"), "w") as f:
            json.dump(request, f)


def wait_for_import(host, count, began):
    """Seconds from `began` until the inbox is empty, and the rate over its last tenth."""
    tail_start = tail_count = None
    while True:
        left = host.inbox_count()
        now = time.perf_counter()
        if tail_start is None and left <= count // 10:
            tail_start, tail_count = now, left
        if left == 0:
            tail = (now - tail_start) if tail_start else 0
            return now - began, (tail_count / tail if tail > 0 else float("nan"))
        if host.process.poll() is not None:
            sys.exit("the host stopped while importing")
        time.sleep(0.05)


def median_ms(run, runs):
    times = []
    for _ in range(runs):
        began = time.perf_counter()
        run()
        times.append((time.perf_counter() - began) * 1000)
    return statistics.median(times)


def command_rows(host, runs, largest, item_id):
    """(name, request) for each timed command."""
    return [
        ("search common word", ("search", {"query": COMMON_WORD})),
        ("search #tag", ("search", {"query": "#" + TAG})),
        ("search three words", ("search", {"query": THREE_WORDS})),
        ("search no match", ("search", {"query": "zzqqxx"})),
        ("show", ("item", {"id": item_id})),
        ("notes <word>", ("notes", {"query": "w0042"})),
        ("spaces", ("spaces", {})),
        ("collections", ("collections", {})),
        ("taste", ("taste", {})),
        ("brief (largest collection)", ("brief", {"collection": largest})),
    ]


def time_commands(host, runs, largest, item_id):
    """Medians of the raw exchange: request out, whole reply in. Each reply is decoded once,
    outside the timing, so a failing command still stops the run."""
    results = {}
    for name, (command, arguments) in command_rows(host, runs, largest, item_id):
        host.exchange(command, arguments)
        results[name] = median_ms(lambda: host.exchange_raw(command, arguments), runs)
    counter = iter(range(10**9))
    results["add_note (reply)"] = median_ms(
        lambda: host.exchange_raw("add_note", {"text": "timed note %d" % next(counter)}), runs)
    results["add_note (with publishing)"] = median_ms(
        lambda: note_published(host, "timed note %d" % next(counter)), runs)
    return results


def note_published(host, text):
    """add_note, until the widget's snapshot it publishes after answering has been replaced."""
    snapshot = os.path.join(host.container, "Widget", "widget.json")
    before = os.stat(snapshot).st_ino
    host.exchange_raw("add_note", {"text": text})
    deadline = time.perf_counter() + 60
    while os.stat(snapshot).st_ino == before and time.perf_counter() < deadline:
        time.sleep(0.0002)


def floors(database, runs, largest, item_id):
    """The same questions in plain SQL on a copy of the database (schema 1)."""
    copy = database + ".floor"
    source = sqlite3.connect(database)
    target = sqlite3.connect(copy)
    source.backup(target)
    source.close()
    db = target
    first = "SELECT id, title, kind, created_at, url FROM items "
    order = " ORDER BY created_at DESC, rowid DESC LIMIT 20"

    def search(where, *parameters):
        def run():
            db.execute("SELECT count(*) FROM items " + where, parameters).fetchall()
            db.execute(first + where + order, parameters).fetchall()
        return run
    fts = "WHERE rowid IN (SELECT rowid FROM item_search WHERE item_search MATCH ?)"
    collection = db.execute("SELECT id FROM collections WHERE name = ?", (largest,)).fetchone()[0]
    queries = {
        "search common word": search(fts, '"%s"*' % COMMON_WORD),
        "search #tag": search("WHERE id IN (SELECT item_id FROM item_tags WHERE tag = ?)", TAG),
        "search three words": search(fts, " ".join('"%s"*' % w for w in THREE_WORDS.split())),
        "search no match": search(fts, '"zzqqxx"*'),
        "show": lambda: (db.execute("SELECT * FROM items WHERE id = ?", (item_id,)).fetchall(),
                         db.execute("SELECT * FROM notes WHERE item_id = ?", (item_id,)).fetchall(),
                         db.execute("SELECT * FROM item_tags WHERE item_id = ?",
                                    (item_id,)).fetchall()),
        "notes <word>": lambda: db.execute(
            "SELECT * FROM notes WHERE title || ' ' || text LIKE '%w0042%' "
            "ORDER BY created_at DESC").fetchall(),
        "spaces": lambda: db.execute(
            "SELECT s.id, (SELECT count(*) FROM items WHERE space_id = s.id) FROM spaces s"
        ).fetchall(),
        "collections": lambda: db.execute(
            "SELECT c.id, (SELECT count(*) FROM item_collections WHERE collection_id = c.id) "
            "FROM collections c").fetchall(),
        "taste": lambda: (
            db.execute("SELECT tag, count(*) FROM item_tags GROUP BY tag").fetchall(),
            db.execute("SELECT url, source_url FROM items").fetchall(),
            db.execute("SELECT hex, weight FROM item_colors").fetchall()),
        "brief (largest collection)": lambda: db.execute(
            "SELECT i.id, i.title, (SELECT group_concat(tag) FROM item_tags t "
            "WHERE t.item_id = i.id), (SELECT group_concat(text) FROM notes n "
            "WHERE n.item_id = i.id) FROM item_collections c JOIN items i ON i.id = c.item_id "
            "WHERE c.collection_id = ? ORDER BY i.created_at DESC", (collection,)).fetchall(),
    }
    results = {name: median_ms(run, runs) for name, run in queries.items()}
    db.close()
    os.remove(copy)
    return results


def first_schema_copy(host, target_home):
    """The library written back in the first schema, for an older host."""
    # Without the inbox: what the new host left there is not the older host's to import.
    shutil.copytree(host.container, os.path.join(target_home, ".local/share/group.app.nolt"),
                    symlinks=True, ignore=lambda folder, names:
                    ["Incoming"] if folder == host.container else [])
    old = Host(None, target_home)
    db = sqlite3.connect(old.database)
    db.executescript("""
      CREATE VIRTUAL TABLE item_words USING fts5(
        item_id UNINDEXED, title, body, tokenize = 'unicode61 remove_diacritics 2');
      INSERT INTO item_words(item_id, title, body)
        SELECT i.id, s.title, s.body FROM item_search s JOIN items i ON i.rowid = s.rowid;
      DROP TABLE item_search;
      DROP INDEX IF EXISTS items_by_space; DROP INDEX IF EXISTS item_collections_by_collection;
      DROP INDEX IF EXISTS item_tags_by_tag; DROP INDEX IF EXISTS item_colors_by_item;
      DROP INDEX IF EXISTS notes_by_item; DROP INDEX IF EXISTS notes_by_date;
      PRAGMA user_version = 0;""")
    db.close()
    return target_home


def measure(binary, home, size, runs, captures_from=None, import_max=None):
    """One host's figures on one library; builds the library when `captures_from` is None."""
    host = Host(binary, home)
    row = {}
    if captures_from is None:
        host.start("--demo")
        host.stop()
        with open(os.path.join(host.container, "destinations.json")) as f:
            destinations = json.load(f)
        drop_captures(host, size, destinations, seed=size)
        began = time.perf_counter()
        row["start to socket, inbox full (s)"] = host.start()
        total, tail = wait_for_import(host, size, began)
        row["import: seconds from start"] = total
        row["import: items/s overall"] = size / total
        row["import: items/s, last tenth"] = tail
        for n in range(max(10, size // 100)):  # notes of their own, beside the captures' notes
            host.exchange("add_note", {"text": "w%04d standing note %d" % (n % 3000, n),
                                       "rule": n % 7 == 0})
        host.stop()
    starts = []
    for _ in range(3):
        starts.append(host.start())
        if _ < 2:
            host.stop()
    row["start to socket (s)"] = statistics.median(starts)
    collections = host.exchange("collections", {})
    largest = max(collections, key=lambda c: c["items"])["name"]
    item_id = host.exchange("search", {"query": COMMON_WORD, "limit": 1})["items"][0]["id"]
    total = host.exchange("search", {})["total"]
    row.update(time_commands(host, runs, largest, item_id))
    row["host RSS after (MiB)"] = host.rss_mib()
    host.stop()

    # SIGTERM while a backlog is being imported.
    # An older host ignores it until its inbox is empty: it gets a smaller backlog.
    backlog = max(2000, size // 10) if import_max is None else 500
    with open(os.path.join(host.container, "destinations.json")) as f:
        destinations = json.load(f)
    drop_captures(host, backlog, destinations, seed=size + 1)
    host.start()
    time.sleep(1)
    row["SIGTERM while importing (s)"] = host.stop()
    row["  of its backlog left in the inbox"] = host.inbox_count()
    return row, largest, item_id, total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--before", help="a folder holding an older nolt-host")
    parser.add_argument("--sizes", default="20000")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--before-runs", type=int, default=3)
    parser.add_argument("--before-import-max", type=int, default=10000)
    parser.add_argument("--scratch", default=None)
    args = parser.parse_args()
    binary = os.path.join(os.path.abspath(args.build), "bin", "nolt-host")
    for size in (int(s) for s in args.sizes.split(",")):
        with tempfile.TemporaryDirectory(prefix="nolt-scale-", dir=args.scratch) as scratch:
            home = os.path.join(scratch, "new")
            new, largest, item_id, total = measure(binary, home, size, args.runs)
            database = Host(binary, home).database
            floor = floors(database, args.runs, largest, item_id)
            old = None
            if args.before:
                old_home = first_schema_copy(Host(binary, home), os.path.join(scratch, "old"))
                old_binary = os.path.join(os.path.abspath(args.before), "nolt-host")
                old, _, _, _ = measure(old_binary, old_home, size, args.before_runs,
                                       captures_from=True, import_max=args.before_import_max)
            print("\n%d captures imported (%d items, demo included); %d runs, medians, "
                  "times in ms unless named" % (size, total, args.runs))
            header = "  %-34s %12s %12s %12s" % ("work", "before", "now", "SQL floor")
            print(header)
            for name, value in new.items():
                before = old.get(name) if old else None
                cells = ["%12s" % ("-" if v is None else "%.1f" % v if isinstance(v, float)
                                   else v) for v in (before, value, floor.get(name))]
                print("  %-34s %s" % (name, " ".join(cells)))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
