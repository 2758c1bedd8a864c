#!/usr/bin/python3
"""Finds the frame of the headless runner that a capture of a real window shows.

usage: match-frame.py HEADLESS DATA_DIR CLIENT_WxH CAPTURE.png [LAST_FRAME]

CAPTURE.png is the window's drawable area as captured from the screen (8 bits a
channel). Runs the headless viewer for 1, 2, ... LAST_FRAME (default 400) frames
with the same client size and compares its last frame, pixel for pixel at the
frame buffer's 5 bits a channel. Prints the first frame that is the same and
exits 0; exits 1 when none is (printing the nearest), 2 on a usage error.
"""
import os
import struct
import subprocess
import sys
import tempfile


def capture_pixels(path):
    """The capture as 15-bit pixels, top row first."""
    rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    return [((rgb[i] >> 3) << 10) | ((rgb[i + 1] >> 3) << 5) | (rgb[i + 2] >> 3)
            for i in range(0, len(rgb), 3)]


def bmp16_pixels(path):
    """A 16-bit BI_RGB bitmap as the runner writes it, top row first."""
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 2 + 3) // 4 * 4
    rows = []
    for r in range(abs(height)):
        start = offset + r * stride
        rows.append([p & 0x7FFF for p in struct.unpack_from("<%dH" % width, data, start)])
    if height > 0:
        rows.reverse()
    return [p for row in rows for p in row]


def main():
    if len(sys.argv) not in (5, 6):
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    headless, data_dir, client, capture = sys.argv[1:5]
    last = int(sys.argv[5]) if len(sys.argv) == 6 else 400
    wanted = capture_pixels(capture)
    nearest = None
    with tempfile.TemporaryDirectory() as work:
        frame_file = os.path.join(work, "frame.bmp")
        for frame in range(1, last + 1):
            subprocess.run([headless, "--cwd", data_dir, "--frames", str(frame), "--client",
                            client, "--screenshot", frame_file], check=True,
                           capture_output=True)
            got = bmp16_pixels(frame_file)
            if got == wanted:
                print(frame)
                return 0
            if len(got) == len(wanted):
                differ = sum(1 for a, b in zip(got, wanted) if a != b)
                if nearest is None or differ < nearest[1]:
                    nearest = (frame, differ)
    if nearest is None:
        print("no frame of the capture's size", file=sys.stderr)
    else:
        print("no frame is the same: the nearest, frame %d, differs in %d of %d pixels"
              % (nearest[0], nearest[1], len(wanted)), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
