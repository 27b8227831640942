#!/usr/bin/python3
"""Prints what the shipped installer is made of: its file size, its sections and its resources
by type, and, given the linker's map file, the code and data each library brings in.

usage: size.py [PROGRAM.exe [PROGRAM.map]]
(default: build/windows/src/app/kvpro-installer.exe and the map file beside it)
"""
import collections
import os
import re
import signal
import struct
import sys

RESOURCE_TYPES = {1: "cursor", 2: "bitmap", 3: "icon", 4: "menu", 5: "dialog", 6: "string",
                  9: "accelerator", 10: "rcdata", 12: "group cursor", 14: "group icon",
                  16: "version", 24: "manifest"}
# Our own numbered resource types.
RESOURCE_TYPES.update({135: "language file"})


def kib(count: int) -> str:
    return f"{count / 1024:9.1f} KiB"


class Image:
    def __init__(self, data: bytes):
        self.data = data
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        count, optional_size = struct.unpack_from("<2xH12xH", data, pe + 4)
        optional = pe + 24
        (magic,) = struct.unpack_from("<H", data, optional)
        directories = optional + (112 if magic == 0x20B else 96)
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, directories + 16)
        self.sections = []
        for i in range(count):
            header = optional + optional_size + 40 * i
            name, vsize, rva, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, header)
            self.sections.append((name.rstrip(b"\0").decode(), vsize, rva, raw_size, raw_ptr))

    def offset(self, rva: int) -> int:
        for _, vsize, start, raw_size, raw_ptr in self.sections:
            if start <= rva < start + max(vsize, raw_size):
                return raw_ptr + rva - start
        raise ValueError(f"RVA {rva:#x} outside every section")

    def resources(self):
        """Yields (type, name, size) for every resource leaf."""
        if not self.resource_rva:
            return
        base = self.offset(self.resource_rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                yield key, target

        def label(key):
            if key & 0x80000000:
                start = base + (key & 0x7FFFFFFF)
                (length,) = struct.unpack_from("<H", self.data, start)
                return self.data[start + 2:start + 2 + 2 * length].decode("utf-16-le")
            return key

        for type_key, names in entries(0):
            for name_key, languages in entries(names & 0x7FFFFFFF):
                for _, leaf in entries(languages & 0x7FFFFFFF):
                    _, size = struct.unpack_from("<II", self.data, base + leaf)
                    yield label(type_key), label(name_key), size


def print_sections(image: Image) -> None:
    print(f"{'section':<12}{'in file':>14}{'in memory':>14}")
    for name, vsize, _, raw_size, _ in image.sections:
        print(f"{name:<12}{kib(raw_size)}{kib(vsize)}")


def print_resources(image: Image) -> None:
    by_type = collections.defaultdict(lambda: [0, 0, []])
    for kind, name, size in image.resources():
        row = by_type[RESOURCE_TYPES.get(kind, kind)]
        row[0] += 1
        row[1] += size
        row[2].append((size, name))
    print(f"\n{'resource type':<16}{'count':>6}{'bytes':>14}   largest")
    for kind, (count, size, items) in sorted(by_type.items(), key=lambda i: -i[1][1]):
        largest = ", ".join(f"{n}: {s / 1024:.1f} KiB" for s, n in sorted(items, reverse=True)[:3])
        print(f"{str(kind):<16}{count:>6}{kib(size)}   {largest}")
    print(f"{'(whole .rsrc)':<22}{kib(image.resource_size)}")


# One input section in the map: " .text  0xADDRESS  0xSIZE  path/lib.a(member.o)", the name
# sometimes on a line of its own.
MAP_LINE = re.compile(r"^ (\.\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$")
OUTPUT_SECTION = re.compile(r"^(\.\S+)\s")


def print_map(path: str, top: int = 15) -> None:
    by_origin = collections.Counter()
    section = None
    with open(path, errors="replace") as lines:
        for line in lines:
            out = OUTPUT_SECTION.match(line)
            if out:
                section = out.group(1)
            match = MAP_LINE.match(line)
            if not match or section not in (".text", ".rdata", ".data", ".pdata", ".xdata"):
                continue
            origin = match.group(3).strip()
            library = re.match(r"(.*?)(\(.*\))?$", origin).group(1)
            by_origin[os.path.basename(library)] += int(match.group(2), 16)
    print(f"\n{'code and data by origin (map)':<44}{'bytes':>14}")
    for origin, size in by_origin.most_common(top):
        print(f"{origin:<44}{kib(size)}")


def main(argv) -> int:
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    exe = argv[1] if len(argv) > 1 else os.path.join(
        root, "build/windows/src/app/kvpro-installer.exe")
    map_file = argv[2] if len(argv) > 2 else os.path.splitext(exe)[0] + ".map"
    with open(exe, "rb") as f:
        image = Image(f.read())
    size = len(image.data)
    print(f"{os.path.basename(exe)}: {size} bytes ({size / 1024:.1f} KiB, {size / 1e6:.3f} MB)\n")
    print_sections(image)
    print_resources(image)
    if os.path.exists(map_file):
        print_map(map_file)
    return 0


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quiet when piped into head
    sys.exit(main(sys.argv))
