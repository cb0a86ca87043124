#!/usr/bin/env python3
"""Times and empty folders through sfxtool, and the metadata record under attack.

    metadata_round_trip.py SFXTOOL

1. Round trips: files with chosen modification times (to the 100 ns an archive keeps) and
   folders that hold nothing, created and extracted with a hardened key, the classic key and no
   password: every file's time and every empty folder (with its time) come back. With
   --no-metadata the files get the time of extraction and the empty folders are not made.
2. The reference reader, which reads exactly `count` records and nothing after them, opens the
   default archives exactly: every name, size and byte, and nothing else.
3. Attacks without the password, on the ciphertext, as integrity_attacks.py makes them (on
   classic-key archives, and the first and fourth behind a hardened key block too): a time's
   bits flipped through CBC, a folder name turned into "..\\..", the record's length in its
   header changed through the guard, a block of the record cut out, the record spliced in from
   another archive under the same password. All refused by extract (with and without
   --allow-unverified), test and list -v, with nothing written.
4. Archives without a password, whose tags anyone can compute, forged here from the format's
   description with hostile folder names: "..\\x", absolute, a drive, a name that is a file's,
   a folder holding a file, one folder twice. Each refused before anything is written; the same
   forger with a harmless name extracts, with the times it wrote.

Exit 0 when everything held, 1 otherwise."""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sfxtool = os.path.realpath(sys.argv[1])
here = os.path.dirname(os.path.realpath(__file__))
reader = [sys.executable, os.path.join(here, "reference_reader.py")]
work = tempfile.mkdtemp()
PW = "correct horse battery staple"
CHUNK = 512 * 1024
TRAILER = 32
EPOCH_TICKS = 116444736000000000  # 1970-01-01 in 100 ns ticks since 1601
failures = 0
passes = 0


def check(label, ok, detail=""):
    global failures, passes
    if ok:
        passes += 1
    else:
        failures += 1
        print("FAIL: %s %s" % (label, detail))


def run(*args, cwd=None):
    return subprocess.run([sfxtool, *args], capture_output=True, cwd=cwd or work)


def roundup16(n):
    return (n + 15) // 16 * 16


def ticks(path):
    return os.lstat(path).st_mtime_ns // 100


def tree_entries(top):
    """Every file and folder below `top`, as relative paths with a kind."""
    out = set()
    for d, dirs, files in os.walk(top):
        for n in dirs:
            out.add(("d", os.path.relpath(os.path.join(d, n), top)))
        for n in files:
            out.add(("f", os.path.relpath(os.path.join(d, n), top)))
    return out


# The input: files whose times are chosen to the nanosecond, and empty folders (one at the top,
# one deep below folders that hold nothing else), which have times of their own.
SRC = os.path.join(work, "src")
FILES = {
    "a.txt": (b"first file\n", 981173106123456789),  # 2001-02-03 04:05:06.123456789
    "sub/b.bin": (os.urandom(70000), 946684798000000000),  # 1999-12-31 23:59:58
    "sub/deeper/c.txt": (b"", 1700000000000000100),
}
EMPTY = ["void", "sub/hollow/inner"]
FOLDER_TIME = 1234567890000000000
for name, (content, ns) in FILES.items():
    path = os.path.join(SRC, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)
    os.utime(path, ns=(ns, ns))
for name in EMPTY:
    os.makedirs(os.path.join(SRC, name))
    os.utime(os.path.join(SRC, name), ns=(FOLDER_TIME, FOLDER_TIME))


def key_args(kind, create=False):
    """The password options of a command; create also chooses the key."""
    chosen = {"hardened": ["-p", PW], "classic": ["-p", PW], "none": ["--no-password"]}[kind]
    return (["--classic-key"] if create and kind == "classic" else []) + chosen


def round_trip(kind):
    out = "rt-%s.tvf" % kind
    made = run("create", "-q", "--plain", *key_args(kind, True), "-o", out, "src")
    check("%s: create" % kind, made.returncode == 0, made.stderr.decode())
    dest = os.path.join(work, "rt-" + kind)
    shutil.rmtree(dest, ignore_errors=True)
    got = run("extract", "-q", *key_args(kind), "-d", dest, out)
    check("%s: extract" % kind, got.returncode == 0, got.stderr.decode())
    for name, (content, ns) in FILES.items():
        path = os.path.join(dest, "src", name)
        with open(path, "rb") as f:
            check("%s: %s bytes" % (kind, name), f.read() == content)
        check("%s: %s time" % (kind, name), ticks(path) == ns // 100,
              "(%d, wanted %d)" % (ticks(path), ns // 100))
    for name in EMPTY:
        path = os.path.join(dest, "src", name)
        check("%s: empty folder %s" % (kind, name), os.path.isdir(path) and not os.listdir(path))
        check("%s: %s time" % (kind, name), ticks(path) == FOLDER_TIME // 100)
    check("%s: nothing else" % kind,
          tree_entries(os.path.join(dest, "src")) == tree_entries(SRC),
          repr(tree_entries(os.path.join(dest, "src")) ^ tree_entries(SRC)))
    return out


for kind in ("hardened", "classic", "none"):
    round_trip(kind)

# --no-metadata: the record as the previous release wrote it, no times, no empty folders.
made = run("create", "-q", "--plain", "--no-metadata", *key_args("classic", True), "-o", "nometa.tvf",
           "src")
check("--no-metadata: create", made.returncode == 0, made.stderr.decode())
check("--no-metadata: says what it leaves out", b"folder without files not stored" in made.stderr)
dest = os.path.join(work, "nometa")
got = run("extract", "-q", *key_args("classic"), "-d", dest, "nometa.tvf")
check("--no-metadata: extract verified", got.returncode == 0, got.stderr.decode())
check("--no-metadata: no empty folders", not os.path.exists(os.path.join(dest, "src", "void")))
check("--no-metadata: the time of extraction",
      ticks(os.path.join(dest, "src", "a.txt")) > FILES["a.txt"][1] // 100 + 10 ** 14)
plain = os.path.getsize(os.path.join(work, "rt-classic.tvf"))
check("the record costs its bytes and no more",
      plain - os.path.getsize(os.path.join(work, "nometa.tvf")) ==
      roundup16(8 + 8 * len(FILES) + sum(12 + 2 * len("src\\" + n) for n in EMPTY)))

# The reference reader opens the default archives exactly: the files, nothing after the records.
for kind, opts in (("classic", ["--password=" + PW]), ("none", ["--no-password"])):
    archive = os.path.join(work, "rt-%s.tvf" % kind)
    listed = subprocess.run(reader + ["list", archive, *opts], capture_output=True)
    check("reference reader, %s: list" % kind, listed.returncode == 0, listed.stderr.decode())
    expected = sorted("%d\tsrc\\%s" % (len(c), n.replace("/", "\\"))
                      for n, (c, _) in FILES.items())
    check("reference reader, %s: names and sizes" % kind,
          sorted(listed.stdout.decode().splitlines()) == expected, listed.stdout.decode())
    dest = os.path.join(work, "ref-" + kind)
    got = subprocess.run(reader + ["extract", archive, dest, *opts], capture_output=True)
    check("reference reader, %s: extract" % kind, got.returncode == 0, got.stderr.decode())
    for name, (content, _) in FILES.items():
        with open(os.path.join(dest, "src", name), "rb") as f:
            check("reference reader, %s: %s" % (kind, name), f.read() == content)
    checked = subprocess.run(reader + ["list", archive, *opts, "--check-integrity"],
                             capture_output=True)
    check("reference reader, %s: its check sees a later record" % kind,
          checked.returncode == 3 and b"version 3" in checked.stderr + checked.stdout)


# Attacks without the password. The attacker knows the names, sizes, file count and the empty
# folders' names (so the record's length M), and works on the ciphertext.
class Layout:
    def __init__(self, image, key_block=0):
        names = ["src\\" + n.replace("/", "\\") for n in sorted(FILES)]
        self.records_end = sum(12 + 2 * len(n) for n in names)
        self.metadata_at = roundup16(self.records_end)
        folders = ["src\\" + n.replace("/", "\\") for n in EMPTY]
        self.metadata_size = roundup16(8 + 8 * len(FILES) + sum(12 + 2 * len(n) for n in folders))
        self.info_size = self.metadata_at + self.metadata_size + 160
        self.info_at = len(image) - key_block - TRAILER - self.info_size


def refused(label, image, kind="classic"):
    path = os.path.join(work, "attacked.tvf")
    with open(path, "wb") as f:
        f.write(image)
    dest = os.path.join(work, "attacked")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    mine = os.path.join(dest, "mine.txt")
    with open(mine, "w") as f:
        f.write("keep me\n")
    outcomes = [
        ("extract", run("extract", "-q", *key_args(kind), "-d", dest, path)),
        ("extract --allow-unverified",
         run("extract", "-q", "--allow-unverified", *key_args(kind), "-d", dest, path)),
        ("test", run("test", "-q", "--allow-unverified", *key_args(kind), path)),
        ("list -v", run("list", "-v", *key_args(kind), path)),
    ]
    for what, result in outcomes:
        check("%s: %s refused" % (label, what), result.returncode in (1, 2),
              "(exit %d: %s)" % (result.returncode, result.stderr.decode().strip()))
    check("%s: list shows no name" % label, outcomes[-1][1].stdout == b"")
    check("%s: nothing written" % label, tree_entries(dest) == {("f", "mine.txt")},
          repr(tree_entries(dest)))
    check("%s: nothing outside" % label, not os.path.exists(os.path.join(work, "x")))


with open(os.path.join(work, "rt-classic.tvf"), "rb") as f:
    original = bytearray(f.read())
lay = Layout(original)


def flip_plain(image, block_offset_in_info, xor, layout=None):
    """Changes the plaintext at info offset `block_offset_in_info` by `xor` through the
    ciphertext block before it (which turns to garbage)."""
    at = (layout or lay).info_at + block_offset_in_info - 16
    for i, x in enumerate(xor):
        image[at + i] ^= x


# A file's time moved by a day: the time of the first file is 8 bytes into the record.
changed = bytearray(original)
time_at = lay.metadata_at + 8
flip_plain(changed, time_at, struct.pack("<Q", 864000000000))
refused("a time changed through CBC", changed)

# The first empty folder's name in the record, its first characters turned into "..\..\x" (the
# same length, so nothing else moves).
folder_at = lay.metadata_at + 8 + 8 * len(FILES) + 12
first = sorted("src\\" + n.replace("/", "\\") for n in EMPTY)[0]
evil = "..\\..\\x" + first[7:]
changed = bytearray(original)
delta = bytes(a ^ b for a, b in zip(first.encode("utf-16-le"), evil.encode("utf-16-le")))
block = folder_at // 16 * 16
xor = bytes(folder_at - block) + delta
for k in range(0, len(xor), 16):
    flip_plain(changed, block + k, xor[k:k + 16])
refused("a folder name turned into ..\\..", changed)

# The record's length in its header (where version 2 has the record length), through the guard.
changed = bytearray(original)
header_at = lay.info_size - 144
flip_plain(changed, header_at, bytes(12) + struct.pack("<I", 16))
refused("the metadata length changed", changed)

# A block of the record cut out, and one repeated.
at = lay.info_at + lay.metadata_at
refused("a block of the record cut out", original[:at] + original[at + 16:])
refused("a block of the record repeated", original[:at + 16] + original[at:])

# The record spliced in from another archive under the same password and names, whose files
# have other times (the classic key is the same for both, so its blocks decipher there too).
for name, (_, ns) in FILES.items():
    os.utime(os.path.join(SRC, name), ns=(ns + 10 ** 12, ns + 10 ** 12))
made = run("create", "-q", "--plain", *key_args("classic", True), "-o", "other.tvf", "src")
check("the other archive", made.returncode == 0, made.stderr.decode())
for name, (_, ns) in FILES.items():
    os.utime(os.path.join(SRC, name), ns=(ns, ns))
with open(os.path.join(work, "other.tvf"), "rb") as f:
    other = f.read()
check("the other archive has the same layout", len(other) == len(original))
changed = bytearray(original)
span = slice(at, at + lay.metadata_size)
changed[span] = other[span]
check("the splice changes something", changed != original)
refused("the record spliced from another archive", changed)


# The same behind a hardened archive's key block: a time changed, a block of the record cut.
with open(os.path.join(work, "rt-hardened.tvf"), "rb") as f:
    hardened = bytearray(f.read())
hard = Layout(hardened, key_block=32)
changed = bytearray(hardened)
flip_plain(changed, hard.metadata_at + 8, struct.pack("<Q", 864000000000), hard)
refused("hardened: a time changed through CBC", changed, "hardened")
at = hard.info_at + hard.metadata_at
refused("hardened: a block of the record cut out", hardened[:at] + hardened[at + 16:],
        "hardened")


# Forged archives without a password: every region in the clear, tags plain SHA-512, as the
# format describes them. The attacker can make anything; the reader must still refuse what no
# writer makes.
def record(name, size):
    raw = name.encode("utf-16-le")
    return struct.pack("<IQ", len(raw), size) + raw


def forge(files, folders):
    """files: (name, content, ticks); folders: (name, ticks)."""
    data = b"".join(c for _, c, _ in files)
    data_pad = (16 - len(data) % 16) % 16
    data += bytes(data_pad)
    records = b"".join(record(n, len(c)) for n, c, _ in files)
    align = roundup16(len(records)) - len(records)
    meta = struct.pack("<II", len(files), len(folders))
    meta += b"".join(struct.pack("<Q", t) for _, _, t in files)
    meta += b"".join(record(n, t) for n, t in folders)
    meta += bytes(roundup16(len(meta)) - len(meta))
    head = b"QSFXINTG" + struct.pack("<BBHI", 3, 2, 64, len(meta))
    before_names = records + bytes(align) + meta + bytes(16) + head
    info_size = len(before_names) + 128
    trailer = struct.pack("<BBBBIIIQQ", 3, data_pad, align, 0, info_size, len(files), 0,
                          len(data), 0)
    names_tag = hashlib.sha512(b"QSFX names tag 2" + trailer + before_names).digest()
    leaves = b"".join(hashlib.sha256(data[i:i + CHUNK]).digest()
                      for i in range(0, len(data), CHUNK))
    tag = hashlib.sha512(trailer + before_names + names_tag +
                         hashlib.sha512(leaves).digest()).digest()
    return data + before_names + names_tag + tag + trailer


def unix_ticks(seconds):
    return EPOCH_TICKS + seconds * 10 ** 7


FORGED_FILES = [("a.txt", b"forged\n", unix_ticks(1000000000) + 1234567),
                ("sub\\b.txt", b"second", 0)]


def extract_forged(label, folders):
    path = os.path.join(work, "forged.tvf")
    with open(path, "wb") as f:
        f.write(forge(FORGED_FILES, folders))
    dest = os.path.join(work, "forged", "dest")
    shutil.rmtree(os.path.join(work, "forged"), ignore_errors=True)
    os.makedirs(dest)
    return run("extract", "-q", "--no-password", "-d", dest, path), dest


got, dest = extract_forged("harmless", [("fine\\folder", unix_ticks(500000000)), ("x", 0)])
check("forged, harmless: extracts", got.returncode == 0, got.stderr.decode())
if got.returncode == 0:
    check("forged: a file's time as written",
          ticks(os.path.join(dest, "a.txt")) == FORGED_FILES[0][2] - EPOCH_TICKS)
    check("forged: a time of 0 is left alone",
          ticks(os.path.join(dest, "sub", "b.txt")) > unix_ticks(1600000000) - EPOCH_TICKS)
    check("forged: the folder and its time",
          os.path.isdir(os.path.join(dest, "fine", "folder")) and
          ticks(os.path.join(dest, "fine", "folder")) == unix_ticks(500000000) - EPOCH_TICKS)

for label, folders in [
    ("..\\x", [("..\\x", 0)]),
    ("../x", [("../x", 0)]),
    ("absolute", [("\\x", 0)]),
    ("a drive", [("C:\\x", 0)]),
    ("a file's name", [("A.TXT", 0)]),
    ("a folder holding a file", [("sub", 0)]),
    ("below a file", [("a.txt\\x", 0)]),
    ("one folder twice", [("x", 0), ("X", 0)]),
    ("a device", [("x\\CON", 0)]),
]:
    got, dest = extract_forged(label, folders)
    check("forged, %s: refused as corrupt" % label, got.returncode == 2,
          "(exit %d: %s)" % (got.returncode, got.stderr.decode().strip()))
    check("forged, %s: nothing written" % label,
          tree_entries(os.path.join(work, "forged")) == {("d", "dest")},
          repr(tree_entries(os.path.join(work, "forged"))))

# An empty folder where the destination already has a file: refused, the file kept, and no file
# of the archive put in place.
got, dest = extract_forged("over a file", [("taken", 0)])
shutil.rmtree(dest)
os.makedirs(dest)
with open(os.path.join(dest, "taken"), "w") as f:
    f.write("a file\n")
got = run("extract", "-q", "--no-password", "-d", dest, os.path.join(work, "forged.tvf"))
check("a folder over a file: refused", got.returncode == 4, "(exit %d)" % got.returncode)
# (Folders the run made for the files may stay, as after any failed run; no file does.)
with open(os.path.join(dest, "taken")) as f:
    kept = f.read()
check("a folder over a file: no file put in place, the file kept",
      {e for e in tree_entries(dest) if e[0] == "f"} == {("f", "taken")} and kept == "a file\n",
      repr(tree_entries(dest)))

shutil.rmtree(work, ignore_errors=True)
print("%d checks passed, %d failed" % (passes, failures))
sys.exit(1 if failures else 0)
