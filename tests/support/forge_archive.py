#!/usr/bin/env python3
r"""Writes archives without a password (every region in the clear), laid out as the format
describes, including ones no writer would make: forged counts, sparse info blocks, many files.

  forge_archive.py many OUT COUNT          COUNT empty files in folders of 1000
  forge_archive.py claim OUT COUNT INFO    a sparse info block of INFO zero bytes claiming COUNT
  forge_archive.py short OUT COUNT         two real records, a trailer claiming COUNT
  forge_archive.py named OUT NAME...       a file under each NAME (backslashes separate
                                           folders) holding the NAME's own bytes
  forge_archive.py escaped OUT NAME...     the same, each NAME written with Python's escapes
                                           (\\ for a backslash, \u202e, \udc80): names no
                                           command line carries, such as a lone surrogate
  forge_archive.py json OUT JSON           as named, the names a JSON list: any UTF-16 unit,
                                           lone surrogates included, as a writer would refuse
"""
import json
import struct
import sys


def record(name, size):
    raw = name.encode("utf-16-le", "surrogatepass")
    return struct.pack("<IQ", len(raw), size) + raw


def trailer(data_pad, info_pad, info_size, count, stub, data_size):
    return struct.pack("<BBBBIIIQQ", 0, data_pad, info_pad, 0, info_size, count, stub,
                       data_size, 0)


def write_plain(out, records, count=None, data=b""):
    data_pad = (16 - len(data) % 16) % 16
    data += b"\0" * data_pad
    info = b"".join(records)
    pad = (16 - len(info) % 16) % 16
    info += b"\0" * pad
    with open(out, "wb") as f:
        f.write(data)
        f.write(info)
        f.write(trailer(data_pad, pad, len(info), len(records) if count is None else count, 0,
                        len(data)))


def main():
    kind, out = sys.argv[1], sys.argv[2]
    if kind == "many":
        n = int(sys.argv[3])
        write_plain(out, [record("d%03d\\f%06d.txt" % (i // 1000, i), 0) for i in range(n)])
    elif kind == "claim":
        count, info_size = int(sys.argv[3]), int(sys.argv[4])
        with open(out, "wb") as f:
            f.truncate(info_size)  # sparse: nothing but zeros, no disk used
            f.seek(info_size)
            f.write(trailer(0, 0, info_size, count, 0, 0))
    elif kind == "short":
        write_plain(out, [record("a", 0), record("b", 0)], count=int(sys.argv[3]))
    elif kind in ("named", "json"):
        names = sys.argv[3:] if kind == "named" else json.loads(sys.argv[3])
        contents = [n.encode("utf-8", "surrogatepass") for n in names]
        write_plain(out, [record(n, len(c)) for n, c in zip(names, contents)],
                    data=b"".join(contents))
    elif kind == "escaped":
        names = [n.encode("ascii").decode("unicode_escape") for n in sys.argv[3:]]
        contents = [n.encode("utf-8", "surrogatepass") for n in names]
        write_plain(out, [record(n, len(c)) for n, c in zip(names, contents)],
                    data=b"".join(contents))
    else:
        sys.exit("unknown kind " + kind)


main()
