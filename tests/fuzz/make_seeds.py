#!/usr/bin/env python3
"""Writes seed replies for cubesql_reply_fuzzer into seeds/."""
import os
import struct
import zlib

ROWID, COMPRESSED, PARTIAL, TABLES = 0x04, 0x08, 0x20, 0x80


def header(size, error=0, flags=0, expanded=0, rows=0, cols=0, fields=0):
    return b"SQLS" + struct.pack(">IHBBIIIIHH", size, error, flags, 0, expanded, rows, cols,
                                 fields, 0, 0)


def cursor(types, names, rows, tables=None, first=True):
    body = b""
    if first:
        body += b"".join(struct.pack(">I", t) for t in types)
    for row in rows:
        body += b"".join(struct.pack(">i", -1 if v is None else len(v)) for v in row)
    if first:
        body += b"".join(n + b"\0" for n in names)
        if tables:
            body += b"".join(t + b"\0" for t in tables)
    body += b"".join(v for row in rows for v in row if v is not None)
    return body


def reply(body, flags=0, rows=0, cols=0, compress=False):
    if compress:
        packed = zlib.compress(body)
        return header(len(packed), flags=flags | COMPRESSED, expanded=len(body), rows=rows,
                      cols=cols) + packed
    return header(len(body), flags=flags, rows=rows, cols=cols) + body


rows = [[b"1", b"alpha"], [b"2", None], [b"-3", b""]]
seeds = {
    "plain": reply(cursor([1, 3], [b"id", b"name"], rows), rows=3, cols=2),
    "rowid_tables": reply(
        cursor([1, 1, 3], [b"rowid", b"id", b"name"], [[b"7"] + r for r in rows],
               tables=[b"t", b"t", b"t"]), flags=ROWID | TABLES, rows=3, cols=3),
    "compressed": reply(cursor([1, 3], [b"id", b"name"], rows * 20), rows=60, cols=2,
                        compress=True),
    "chunked": reply(cursor([1, 3], [b"id", b"name"], rows[:2]), flags=PARTIAL, rows=2, cols=2)
    + reply(cursor([], [], rows[2:], first=False), flags=PARTIAL, rows=1, cols=2)
    + header(0, error=777),
    "error": header(21, error=1) + b"near \"x\": syntax err\0"[:21],
    "empty": reply(cursor([], [], []), rows=0, cols=0),
    # A small compressed reply announcing more columns (all with empty names)
    # than a result can have.
    "column_bomb": reply(cursor([3] * 100000, [b""] * 100000, []), rows=0, cols=100000,
                         compress=True),
}
os.makedirs(os.path.join(os.path.dirname(__file__), "seeds"), exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(os.path.dirname(__file__), "seeds", name), "wb") as f:
        f.write(data)
