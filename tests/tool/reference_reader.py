#!/usr/bin/env python3
"""A second reader of Quillon archives, written from the format's description only, to show that
archives stay readable by anyone who follows it. Python's standard library plus `openssl enc` for
the cipher; nothing here comes from the engine.

The format, as this reader takes it: an image of N bytes is

    stub (S bytes, none in a .tvf) | data stream (D) | info block (I) | trailer (32)

with N = S + D + I + 32. A signed self-extracting archive has an Authenticode certificate table
after that (found through the PE header's security directory, and ending the file), with up to
7 zero bytes before the table; N is then where the archive's own bytes end. The data stream, the info block and the trailer are each their own
AES-256-CBC chain (no padding scheme) whose key and IV are the first 32 and the next 16 bytes of
SHA-512 over the password's Windows-1252 bytes; without a password all three are stored as they
are. Trailer: reserved (which a later addition uses, and this reader ignores), data padding,
info padding, reserved (one byte each), I (u32), count
(u32), S (u32), D (u64), check value (u64, zero under the right key). The info block holds
`count` records, each name length in bytes (u32), file size (u64), name (UTF-16LE, backslash
separated); this reader reads exactly `count` of them and ignores whatever follows. The data
stream is every file's bytes back to back in record order. All integers are little-endian.

--check-integrity also verifies the integrity record that may follow the records (see
check_integrity below) and refuses to list or extract unless it is there and its tag matches.

    reference_reader.py list ARCHIVE [--password PW | --no-password] [--check-integrity]
    reference_reader.py extract ARCHIVE DEST [--password PW | --no-password] [--check-integrity]

Exit status: 0 done (and, with --check-integrity, verified), 1 wrong password, 2 corrupt or tag
mismatch, 3 not verified (no integrity record, or one of a later version), 64 usage."""
import argparse
import hashlib
import hmac
import os
import struct
import subprocess
import sys

WRONG_PASSWORD, CORRUPT, NOT_VERIFIED = 1, 2, 3
CHUNK = 512 * 1024
INTEGRITY_LABEL = b"Quillon SFX integrity key 1"
NAMES_TAG_LABEL = b"QSFX names tag 2"


class Failure(Exception):
    def __init__(self, status, message):
        super().__init__(message)
        self.status = status


def ansi_bytes(password):
    """Windows-1252, as Windows converts without best fit: anything it cannot hold becomes '?'.
    The five bytes Python's codec leaves undefined map to the same code points on Windows."""
    out = bytearray()
    for ch in password:
        try:
            out += ch.encode("cp1252")
        except UnicodeEncodeError:
            out += bytes([ord(ch)]) if ord(ch) in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else b"?"
    return bytes(out[:519])


def decrypt(data, key, iv):
    if key is None or not data:
        return data
    if len(data) % 16:
        raise Failure(CORRUPT, "an enciphered region is not whole blocks")
    result = subprocess.run(
        ["openssl", "enc", "-d", "-aes-256-cbc", "-nopad", "-K", key.hex(), "-iv", iv.hex()],
        input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0 or len(result.stdout) != len(data):
        raise Failure(CORRUPT, "openssl failed: " + result.stderr.decode(errors="replace"))
    return result.stdout


def certificate_table_at(image):
    """Where a certificate table that ends the file starts, by the PE security directory, or
    None when the file is no signed program."""
    if image[:2] != b"MZ" or len(image) < 0x40:
        return None
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    optional = pe + 24
    if image[pe:pe + 4] != b"PE\0\0" or optional + 2 > len(image):
        return None
    magic = struct.unpack_from("<H", image, optional)[0]
    if magic not in (0x10B, 0x20B):
        return None
    count_at = optional + (92 if magic == 0x10B else 108)
    if count_at + 4 + 5 * 8 > len(image) or struct.unpack_from("<I", image, count_at)[0] < 5:
        return None
    offset, size = struct.unpack_from("<II", image, count_at + 4 + 4 * 8)
    if offset == 0 or size == 0 or offset + size != len(image):
        return None
    return offset


class Archive:
    def __init__(self, path, password):
        with open(path, "rb") as f:
            image = f.read()
        self.digest = hashlib.sha512(ansi_bytes(password)).digest() if password else None
        key = self.digest[:32] if self.digest else None
        iv = self.digest[32:48] if self.digest else None

        # Where the archive's own bytes may end: the file's end, or before a certificate table
        # and the zero bytes that bring the program to a multiple of 8 before it.
        table = certificate_table_at(image)
        if table is None:
            ends = [len(image)]
        else:
            ends = [table - pad for pad in range(8) if table - pad >= 0 and
                    not any(image[table - pad:table])]
        failure = Failure(WRONG_PASSWORD, "wrong password")
        for n in ends:
            if n <= 48:
                failure = Failure(CORRUPT, "too small to be an archive")
                continue
            trailer = decrypt(image[n - 32:n], key, iv)
            (_, _, _, _, info_size, count, stub_size, data_size,
             check) = struct.unpack("<BBBBIIIQQ", trailer)
            if check != 0:
                continue
            if n != stub_size + data_size + info_size + 32:
                failure = Failure(CORRUPT, "the sizes in the trailer do not add up")
                continue
            break
        else:
            raise failure
        self.image = image[:n]
        self.trailer = trailer
        self.stub_size, self.data_size, self.info_size = stub_size, data_size, info_size
        info_at = n - 32 - info_size
        self.info_cipher = self.image[info_at:n - 32]
        self.info = decrypt(self.info_cipher, key, iv)

        self.entries = []
        at = 0
        for _ in range(count):
            if at + 12 > len(self.info):
                raise Failure(CORRUPT, "a record runs past the info block")
            name_length, size = struct.unpack_from("<IQ", self.info, at)
            at += 12
            if name_length == 0 or name_length % 2 or at + name_length > len(self.info):
                raise Failure(CORRUPT, "a record's name does not fit")
            name = self.info[at:at + name_length].decode("utf-16-le", errors="strict")
            at += name_length
            self.entries.append((name, size))
        self.records_end = at
        if sum(size for _, size in self.entries) > data_size:
            raise Failure(CORRUPT, "the files are larger than the data stream")
        self.key, self.iv = key, iv

    def data_ciphertext(self):
        return self.image[self.stub_size:self.stub_size + self.data_size]

    def files(self):
        data = decrypt(self.data_ciphertext(), self.key, self.iv)
        at = 0
        for name, size in self.entries:
            yield name, data[at:at + size]
            at += size

    def check_integrity(self):
        """The record after the records: zeros to a multiple of 16, a 16-byte zero guard, a
        16-byte header ("QSFXINTG", version u8, algorithm u8: 1 HMAC-SHA-512 with a password, 2
        SHA-512 without, tag length u16 = 64, record length u32 = 80 for version 1, 144 for
        version 2), for version 2 a 64-byte names tag, the 64-byte tag, and the end of the
        block. Trailer byte 0 announces the version (0: nothing announced, as version 1 archives
        and archives without a record have it); an announced record must be there. The names
        tag is over its label, the trailer plaintext and the info block's ciphertext up to the
        names tag. The tag is over the trailer plaintext, the info block up to the tag, and
        SHA-512 of the SHA-256s of the data stream's ciphertext in 512 KiB chunks. Both are
        keyed by HMAC-SHA-512(password digest, label)."""
        r, size, info = self.records_end, self.info_size, self.info
        announced = self.trailer[0]
        if announced > 2:
            raise Failure(NOT_VERIFIED, "not verified (integrity record of version %d)" % announced)
        if size - r < 16:
            if any(info[r:]) or announced:
                raise Failure(CORRUPT, "no record where one was announced, or non-zero bytes")
            raise Failure(NOT_VERIFIED, "not verified (no integrity record)")
        aligned = (r + 15) // 16 * 16
        header_at = aligned + 16
        if header_at + 16 > size or any(info[r:header_at]):
            raise Failure(CORRUPT, "damaged alignment or guard")
        header = info[header_at:header_at + 16]
        marker, version, algorithm, tag_length, record_length = struct.unpack("<8sBBHI", header)
        if marker != b"QSFXINTG" or version == 0:
            raise Failure(CORRUPT, "not an integrity record")
        if announced and version != announced or not announced and version == 2:
            raise Failure(CORRUPT, "not the record the trailer announced")
        if version > 2:
            raise Failure(NOT_VERIFIED, "not verified (integrity record of version %d)" % version)
        keyed = self.digest is not None
        length = 80 if version == 1 else 144
        if (algorithm != (1 if keyed else 2) or tag_length != 64 or record_length != length
                or size != aligned + 16 + length):
            raise Failure(CORRUPT, "malformed integrity record")
        tag_at = header_at + 16 + (64 if version == 2 else 0)
        stored = info[tag_at:tag_at + 64]
        if keyed:
            key = hmac.new(self.digest, INTEGRITY_LABEL, hashlib.sha512).digest()
            mac = lambda message: hmac.new(key, message, hashlib.sha512).digest()
        else:
            mac = lambda message: hashlib.sha512(message).digest()
        if version == 2:
            names_at = header_at + 16
            names = mac(NAMES_TAG_LABEL + self.trailer + self.info_cipher[:names_at])
            if not hmac.compare_digest(names, info[names_at:names_at + 64]):
                raise Failure(CORRUPT, "names tag mismatch")

        cipher = self.data_ciphertext()
        leaves = b"".join(hashlib.sha256(cipher[i:i + CHUNK]).digest()
                          for i in range(0, len(cipher), CHUNK))
        computed = mac(self.trailer + info[:tag_at] + hashlib.sha512(leaves).digest())
        if not hmac.compare_digest(computed, stored):
            raise Failure(CORRUPT, "integrity tag mismatch")


def safe_path(dest, name):
    parts = name.split("\\")
    if any(p in ("", ".", "..") or "/" in p or ":" in p for p in parts):
        raise Failure(CORRUPT, "a stored name leads out of the destination: %r" % name)
    return os.path.join(dest, *parts)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("command", choices=("list", "extract"))
    parser.add_argument("archive")
    parser.add_argument("dest", nargs="?")
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--password", "-p")
    group.add_argument("--no-password", action="store_true")
    parser.add_argument("--check-integrity", action="store_true")
    try:
        args = parser.parse_args(argv)
    except SystemExit as e:
        return 0 if e.code == 0 else 64
    if (args.command == "extract") != (args.dest is not None):
        parser.print_usage(sys.stderr)
        return 64

    try:
        archive = Archive(args.archive, None if args.no_password else args.password)
        if args.check_integrity:
            archive.check_integrity()
            print("integrity: verified")
        if args.command == "list":
            for name, size in archive.entries:
                sys.stdout.buffer.write(b"%d\t%s\n" % (size, name.encode("utf-8")))
        else:
            for name, content in archive.files():
                path = safe_path(args.dest, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(content)
    except Failure as failure:
        if failure.status == NOT_VERIFIED:
            print("integrity: " + str(failure))
        else:
            print("reference_reader: " + str(failure), file=sys.stderr)
        return failure.status
    except UnicodeDecodeError:
        print("reference_reader: a stored name is not UTF-16", file=sys.stderr)
        return CORRUPT
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
