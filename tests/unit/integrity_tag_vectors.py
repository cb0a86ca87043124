#!/usr/bin/env python3
"""Makes the known answers of integrity_record_test.cpp from the recipe alone, with hashlib and
hmac. The inputs are fixed patterns that the C++ test builds the same way:

  data stream   D = 2 * 524288 + 4112 bytes, byte i = (i * 167 + 13 + (i >> 16)) mod 256,
                standing in for ciphertext (the tag does not care what the bytes mean)
  info block    records "a.txt" (10 bytes) and "dir\\b" (1052670 bytes), R = 44,
                then 4 alignment zeros, the guard and the header: 80 bytes up to the tag
  trailer       reserved 0, data padding 8, info padding 4, reserved 0, I = 144, count 2,
                S = 0, D, check value 0
  key           the integrity key of the password "correct horse"

Run it to print the values the test holds."""
import hashlib
import hmac
import struct

CHUNK = 524288


def record(name, size):
    encoded = name.encode("utf-16-le")
    return struct.pack("<IQ", len(encoded), size) + encoded


def header(keyed):
    return b"QSFXINTG" + bytes([1, 1 if keyed else 2]) + struct.pack("<HI", 64, 80)


def data_digest(data):
    leaves = b"".join(hashlib.sha256(data[i:i + CHUNK]).digest()
                      for i in range(0, len(data), CHUNK))
    return hashlib.sha512(leaves).digest()


def tag(key, trailer, info_to_tag, data):
    message = trailer + info_to_tag + data_digest(data)
    if key is None:
        return hashlib.sha512(message).digest()
    return hmac.new(key, message, hashlib.sha512).digest()


def main():
    d = 2 * CHUNK + 4112
    data = bytes((i * 167 + 13 + (i >> 16)) % 256 for i in range(d))
    records = record("a.txt", 10) + record("dir\\b", 1052670)
    r = len(records)
    aligned = (r + 15) // 16 * 16
    trailer = struct.pack("<BBBBIIIQQ", 0, 8, aligned - r, 0, aligned + 96, 2, 0, d, 0)
    digest = hashlib.sha512(b"correct horse").digest()
    key = hmac.new(digest, b"Quillon SFX integrity key 1", hashlib.sha512).digest()
    for keyed in (True, False):
        info = records + bytes(aligned - r) + bytes(16) + header(keyed)
        print("keyed" if keyed else "unkeyed")
        print("  info to tag ", info.hex())
        print("  tag         ", tag(key if keyed else None, trailer, info, data).hex())
        print("  tag, no data", tag(key if keyed else None, trailer, info, b"").hex())
        print("  tag, exactly one chunk of data",
              tag(key if keyed else None, trailer, info, data[:CHUNK]).hex())
    print("trailer", trailer.hex())
    print("data digest", data_digest(data).hex())


if __name__ == "__main__":
    main()
