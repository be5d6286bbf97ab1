#!/usr/bin/env python3
"""png-to-ico.py OUT.ico IN.png...: packs PNG images into one Windows icon file (PNG entries, as
Windows Vista and later read them). Makes packaging/windows/tavo-mx7300-control.ico from the
icons mx7300-icon renders:

    build/bin/mx7300-icon /tmp/icons
    tools/icon/png-to-ico.py packaging/windows/tavo-mx7300-control.ico \\
        /tmp/icons/{32x32,48x48,256x256}/apps/tavo-mx7300-control.png
"""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise SystemExit("not a PNG file")
    return struct.unpack(">II", data[16:24])


def main(out, inputs):
    images = [open(path, "rb").read() for path in inputs]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for data in images:
        width, height = png_size(data)
        # 0 stands for 256 in the one-byte size fields.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data),
                               offset)
        offset += len(data)
    with open(out, "wb") as ico:
        ico.write(header + entries + b"".join(images))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    main(sys.argv[1], sys.argv[2:])
