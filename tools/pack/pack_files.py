#!/usr/bin/python3
"""Packs files into one bundle (src/packed/packed_bundle.h): a header naming each file's id and
place, then all files compressed together as one raw DEFLATE stream (zlib, level 9).

usage: pack_files.py OUTPUT ID=FILE...

Files that look alike compress best next to each other, within DEFLATE's 32 KiB window: the
first file stays first, then each next one is the one that adds the fewest bytes after what
precedes it. The order is fixed by the contents, so the same files give the same bundle.
"""
import struct
import sys
import zlib

WINDOW = 32 * 1024


def deflate(data: bytes) -> bytes:
    packer = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    return packer.compress(data) + packer.flush()


def likeness_order(files):
    """files: [(id, bytes)], first one kept first."""
    order = [files[0]]
    rest = files[1:]
    stream = files[0][1]
    while rest:
        window = stream[-WINDOW:]
        base = len(deflate(window))
        best = min(rest, key=lambda f: (len(deflate(window + f[1])) - base, f[0]))
        order.append(best)
        rest.remove(best)
        stream += best[1]
    return order


def bundle(files) -> bytes:
    header = b"KVPK" + struct.pack("<H", len(files))
    offset = 0
    for ident, data in files:
        header += struct.pack("<HII", ident, offset, len(data))
        offset += len(data)
    return header + deflate(b"".join(data for _, data in files))


def main(argv) -> int:
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    files = []
    for item in argv[2:]:
        ident, _, path = item.partition("=")
        with open(path, "rb") as f:
            files.append((int(ident), f.read()))
    with open(argv[1], "wb") as out:
        out.write(bundle(likeness_order(files)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
