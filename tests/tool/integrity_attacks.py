#!/usr/bin/env python3
"""Attacks on the integrity record as someone would make them who knows the format and the
files' names and sizes, but not the password: every change is made to the ciphertext, through
what CBC lets an attacker do (flip chosen bits of a block by flipping the block before it, which
that block pays for in garbage), and by moving or splicing whole blocks.

    integrity_attacks.py SFXTOOL [--hardened]

Each attack is run through sfxtool extract (also with --allow-unverified), test and list -v, and
must be refused: exit 1 or 2, nothing written, a file already in the destination unchanged, no
name shown. Plain list reads only the names: a change to them, or to what vouches for them, must
fail it alike. Exit 0 when every attack was refused, 1 otherwise.

With --hardened the archives have a hardened key, whose clear key block ends the file: the
record's attacks are made again behind it (fewer of them, as each run derives a key), and the key
block itself is removed, swapped, and has its cost and derivation changed: refused, and a cost
beyond the readers' bounds refused before any memory is taken for it."""
import os
import random
import secrets
import shutil
import struct
import subprocess
import sys
import tempfile

CHUNK = 512 * 1024
TRAILER = 32
RECORD_TAIL = 160  # guard, header, names tag, tag

sfxtool = os.path.realpath(sys.argv[1])
HARDENED = "--hardened" in sys.argv[2:]
KEY_BLOCK = 32 if HARDENED else 0  # "QSFXHKEY", derivation, lanes, passes, KiB, salt
work = tempfile.mkdtemp()
failures = 0
passes = 0


def check(label, ok, detail=""):
    global failures, passes
    if ok:
        passes += 1
    else:
        failures += 1
        print("FAIL: %s %s" % (label, detail))


def run(*args):
    return subprocess.run([sfxtool, *args], capture_output=True, cwd=work)


def roundup16(n):
    return (n + 15) // 16 * 16


class Layout:
    """Where everything is, from the names and sizes the attacker knows and the file's size."""

    def __init__(self, image, names, sizes):
        self.records = []
        at = 0
        for name, size in zip(names, sizes):
            length = 2 * len(name)
            self.records.append((at, length, size))
            at += 12 + length
        self.records_end = at
        self.info_size = roundup16(at) + RECORD_TAIL
        self.data_size = roundup16(sum(sizes))
        self.end = len(image) - KEY_BLOCK  # the trailer's end
        self.info_at = self.end - TRAILER - self.info_size
        self.data_at = self.info_at - self.data_size


def flip(image, offset, xor_bytes):
    for i, x in enumerate(xor_bytes):
        image[offset + i] ^= x


def make_sources(first_content, last_content):
    """Two files whose records end on a block boundary, with the last record's length field
    inside one block and the block before it inside the first name: the layout the stripping
    attack needs (the attacker picks archives that have it)."""
    src = os.path.join(work, "src")
    shutil.rmtree(src, ignore_errors=True)
    os.makedirs(src)
    first = "statement-for-the-year-2026.txt"  # 31 characters; with "src\" before it, 35
    last = "z.txt"
    with open(os.path.join(src, first), "w") as f:
        f.write(first_content)
    with open(os.path.join(src, last), "w") as f:
        f.write(last_content)
    return ["src\\" + first, "src\\" + last], ["src/" + first, "src/" + last]


def create(password, out, paths, *extra):
    # The version 2 record on purpose: the layout above has no metadata record in it (whose
    # attacks metadata_round_trip.py makes).
    key = ["--no-metadata"] + ([] if HARDENED else ["--classic-key"])
    result = run("create", "-q", *key, *extra, "-p", password, "-o", out, *paths)
    check("create " + out, result.returncode == 0, result.stderr.decode())
    with open(os.path.join(work, out), "rb") as f:
        return bytearray(f.read())


def refused(label, image, password, allow=True):
    """extract (with and without --allow-unverified), test and list all refuse the image, and a
    file in the destination stays as it was, with nothing beside it."""
    path = os.path.join(work, "attacked.bin")
    with open(path, "wb") as f:
        f.write(image)
    dest = os.path.join(work, "dest")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(os.path.join(dest, "src"))
    mine = os.path.join(dest, "src", "z.txt")
    with open(mine, "w") as f:
        f.write("mine, keep me\n")
    outcomes = []
    for how in (["--allow-unverified"] if allow else []) + [None]:
        args = ["extract", "-q", "-p", password, "-d", dest, path]
        if how:
            args.insert(1, how)
        outcomes.append(("extract " + (how or ""), run(*args)))
    outcomes.append(("test", run("test", "-q", "--allow-unverified", "-p", password, path)))
    outcomes.append(("list -v", run("list", "-v", "-p", password, path)))
    for what, result in outcomes:
        check("%s: %s refused" % (label, what), result.returncode in (1, 2),
              "(exit %d: %s)" % (result.returncode, result.stderr.decode().strip()))
    listed = outcomes[-1][1]
    check("%s: list shows no name" % label, listed.stdout == b"", repr(listed.stdout[:80]))
    with open(mine) as f:
        kept = f.read()
    others = [os.path.join(d, n) for d, _, ns in os.walk(dest) for n in ns]
    check("%s: the destination is as it was" % label,
          kept == "mine, keep me\n" and others == [mine], repr((kept, others)))
    return outcomes


def strip_record(image, layout):
    """The downgrade: grow the last name's length so that the name runs to the end of the info
    block, swallowing the alignment, guard, header and tags, and the archive reads as one
    without a record; flip the guard's ciphertext so that the header's zero unit, now inside the
    name, becomes a letter; then change the data at will. Returns the changed image."""
    at, length, _ = layout.records[-1]
    assert layout.records_end % 16 == 0 and at % 16 <= 12 and at >= 32
    grown = length + layout.info_size - layout.records_end
    field = layout.info_at + at
    flip(image, field - 16, struct.pack("<I", length ^ grown))
    guard = layout.info_at + layout.records_end
    flip(image, guard + 14, b"\x41\x00")  # the record length's high unit, 0 -> 'A'
    return image


def change_amount(image, layout, content_at, old, new):
    """CBC: the block before the one holding the text is garbled, the text itself changes."""
    position = layout.data_at + content_at
    flip(image, position - 16, bytes(a ^ b for a, b in zip(old, new)))


def refused_quickly(label, image, password):
    """A key block no reader derives from: corrupt at once, with no more memory taken than
    reading the archive takes (far below the 64 MiB a derivation needs)."""
    path = os.path.join(work, "attacked.bin")
    with open(path, "wb") as f:
        f.write(image)
    command = [sfxtool, "list", "-v", "-p", password, path]
    probe = ("import resource, subprocess, sys; r = subprocess.run(sys.argv[1:], "
             "capture_output=True); print(r.returncode, "
             "resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    out = subprocess.run([sys.executable, "-c", probe, *command], capture_output=True, text=True)
    status, peak_kib = (int(x) for x in out.stdout.split())
    check("%s: corrupt" % label, status == 2, "(exit %d)" % status)
    check("%s: no memory taken for a derivation" % label, peak_kib < 48 * 1024,
          "(peak %d KiB)" % peak_kib)


def key_block_attacks(image, layout, password, names, paths, sizes):
    key_at = layout.end
    assert image[key_at:key_at + 8] == b"QSFXHKEY", "no key block where the format puts it"
    # Removed: the archive then reads as a classic one, whose key the password does not give.
    refused("key block removed", image[:key_at], password)
    # Another archive's key block, same password and files: another salt, another key.
    make_sources("Statement of account, 2026. Nothing due.\n" * 2,
                 "Pay to: ACME Ltd, bank account 12345678. Amount: EUR 100.00\n")
    other = create(password, "other.tvf", paths, "--plain")
    check("two archives have two salts", other[-16:] != image[-16:])
    refused("another archive's key block", image[:key_at] + other[-KEY_BLOCK:], password)
    # A cheaper cost (a guess then costs less) or another salt: another key.
    for label, offset, value in (("one pass", 10, struct.pack("<H", 1)),
                                 ("one lane", 9, b"\x01"),
                                 ("64 KiB", 12, struct.pack("<I", 64)),
                                 ("a zero salt", 16, bytes(16))):
        changed = bytearray(image)
        changed[key_at + offset:key_at + offset + len(value)] = value
        refused("key block: " + label, changed, password)
    # What no reader derives from: another derivation, costs past the bounds.
    for label, offset, value in (("derivation 2", 8, b"\x02"),
                                 ("4 GiB less 1 KiB", 12, struct.pack("<I", 0xFFFFFFFF)),
                                 ("1 GiB and 1 KiB", 12, struct.pack("<I", 1048577)),
                                 ("17 passes", 10, struct.pack("<H", 17)),
                                 ("0 lanes", 9, b"\x00"),
                                 ("255 lanes", 9, b"\xff")):
        changed = bytearray(image)
        changed[key_at + offset:key_at + offset + len(value)] = value
        refused_quickly("key block: " + label, changed, password)
        refused("key block: " + label, changed, password)
    # The marker changed: no longer a key block, so the last 32 bytes are taken for a classic
    # trailer, which they are not.
    changed = bytearray(image)
    changed[key_at] ^= 0x20
    refused("key block marker changed", changed, password)


def main():
    first_content = "Statement of account, 2026. Nothing due.\n" * 2
    last_content = "Pay to: ACME Ltd, bank account 12345678. Amount: EUR 100.00\n"
    names, paths = make_sources(first_content, last_content)
    sizes = [len(first_content), len(last_content)]

    # The stripping attack, for many fresh passwords, on .tvf and .exe archives (more with
    # QUILLON_ATTACK_PASSWORDS set).
    for k in range(int(os.environ.get("QUILLON_ATTACK_PASSWORDS", "3" if HARDENED else "12"))):
        password = secrets.token_urlsafe(12)
        for kind, extra in (("tvf", ["--plain"]), ("exe", [])):
            image = create(password, "sealed." + kind, paths, *extra)
            layout = Layout(image, names, sizes)
            if kind == "tvf":
                check("the attacker's layout puts the data stream at 0", layout.data_at == 0)
            attacked = strip_record(bytearray(image), layout)
            amount = sizes[0] + last_content.index("EUR 100.00") + 4
            change_amount(attacked, layout, amount, b"1", b"9")
            refused("stripped record, %s, password %d" % (kind, k), attacked, password)

    password = "attack at dawn"
    image = create(password, "a.tvf", paths, "--plain")
    layout = Layout(image, names, sizes)

    # The record cut away, whole or in part, and the trailer (and key block) moved up to close
    # the gap.
    for cut in (16, 64, 128, RECORD_TAIL):
        cut_image = image[:layout.end - TRAILER - cut] + image[layout.end - TRAILER:]
        refused("record cut by %d" % cut, cut_image, password)

    if HARDENED:
        key_block_attacks(image, layout, password, names, paths, sizes)
        print("%d passed, %d failed" % (passes, failures))
        shutil.rmtree(work, ignore_errors=True)
        return 0 if failures == 0 else 1

    # The announcement flipped: any bit of the trailer's first block (a few with a hardened key).
    if HARDENED:
        for byte in (0, 5, 15):
            changed = bytearray(image)
            changed[layout.end - TRAILER + byte] ^= 1 << (byte % 8)
            refused("trailer bit in byte %d" % byte, changed, password)
    for byte in range(16):
        changed = bytearray(image)
        changed[layout.end - TRAILER + byte] ^= 1 << (byte % 8)
        refused("trailer bit in byte %d" % byte, changed, password)

    # The record's version raised through the guard's ciphertext (version byte at header + 8).
    guard = layout.info_at + roundup16(layout.records_end)
    for version_xor in (1, 2 ^ 3, 2 ^ 255):
        changed = bytearray(image)
        changed[guard + 8] ^= version_xor
        refused("record version changed by %d" % version_xor, changed, password)

    # A name changed, a size changed, a tag changed: all alike, to list as to extract, so that
    # whether a guess about a name was right cannot be told from the answer.
    spots = {}
    for index, (at, length, _) in enumerate(layout.records):
        for offset in (at - 16 + 4, at + 12 - 16, at + 12, at + 12 + length - 2):
            if 0 <= offset < layout.info_size:
                spots["record %d at %d" % (index, offset)] = offset
    spots["alignment and guard"] = roundup16(layout.records_end) + 3
    spots["header"] = roundup16(layout.records_end) + 16 + 9
    spots["names tag"] = layout.info_size - 128 + 5
    spots["names tag's last block"] = layout.info_size - 64 - 16
    names_answers, full_answers = set(), set()
    for label, offset in spots.items():
        changed = bytearray(image)
        changed[layout.info_at + offset] ^= 0x04
        full = refused("changed " + label, changed, password)[-1][1]
        full_answers.add((full.returncode, full.stdout, full.stderr))
        listed = run("list", "-p", password, os.path.join(work, "attacked.bin"))
        names_answers.add((listed.returncode, listed.stdout, listed.stderr))
    for label, offset in (("tag", layout.info_size - 64 + 5), ("tag's end", layout.info_size - 1)):
        changed = bytearray(image)
        changed[layout.info_at + offset] ^= 0x04
        full = refused("changed " + label, changed, password)[-1][1]
        full_answers.add((full.returncode, full.stdout, full.stderr))
    check("list: every changed name, size, record and names tag gets one answer",
          len(names_answers) == 1 and next(iter(names_answers))[0] == 2, repr(names_answers))
    check("list -v: so does the tag", len(full_answers) == 1, repr(full_answers))

    # Every cipher block that holds part of a name: one bit changed, no name is shown.
    for block in range(0, roundup16(layout.records_end), 16):
        changed = bytearray(image)
        changed[layout.info_at + block + 3] ^= 0x10
        path = os.path.join(work, "block.bin")
        with open(path, "wb") as f:
            f.write(changed)
        listed = run("list", "-p", password, path)
        check("bit in info block %d: list fails showing nothing" % block,
              listed.returncode == 2 and listed.stdout == b"", repr(listed))

    # Two archives under one password, same names and sizes, other contents: without a salt they
    # share key and IV, so their blocks can be mixed. Every mix is refused.
    other_first = first_content.replace("Nothing due", "All paid up")
    other_last = last_content.replace("12345678", "87654321")
    make_sources(other_first, other_last)
    other = create(password, "b.tvf", paths, "--plain")
    make_sources(first_content, last_content)
    assert len(other) == len(image)
    info_end = layout.end - TRAILER

    def splice(start, end):
        mixed = bytearray(image)
        mixed[start:end] = other[start:end]
        return mixed

    refused("data stream of another archive", splice(layout.data_at, layout.info_at), password)
    refused("info block of another archive", splice(layout.info_at, info_end), password)
    refused("tag of another archive", splice(info_end - 64, info_end), password)
    refused("both tags of another archive", splice(info_end - 128, info_end), password)
    refused("one block of another archive's data",
            splice(layout.data_at + 16, layout.data_at + 32), password)

    # Across chunks of the data stream: two chunks swapped, one chunk cut away.
    big = os.path.join(work, "src", "big.bin")
    with open(big, "wb") as f:
        f.write(random.Random(7).randbytes(3 * CHUNK + 1000))
    image = create(password, "big.tvf", ["src/big.bin"], "--plain")
    data_at = 0
    swapped = bytearray(image)
    swapped[data_at:data_at + CHUNK], swapped[data_at + CHUNK:data_at + 2 * CHUNK] = \
        image[data_at + CHUNK:data_at + 2 * CHUNK], image[data_at:data_at + CHUNK]
    refused("two chunks swapped", swapped, password)
    refused("a chunk cut at its boundary", image[:CHUNK] + image[2 * CHUNK:], password)
    os.remove(big)

    print("%d passed, %d failed" % (passes, failures))
    shutil.rmtree(work, ignore_errors=True)
    return 0 if failures == 0 else 1


sys.exit(main())
