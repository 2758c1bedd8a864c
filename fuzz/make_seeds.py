#!/usr/bin/env python3
"""Writes the seed inputs of every fuzz target: the shipped data and small
files like those of the tests, one directory per target.

usage: fuzz/make_seeds.py OUTPUT_DIR
"""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "data")
FILE_MARK = b"\n%%file "


def shipped(name):
    with open(os.path.join(DATA, name), "rb") as f:
        return f.read()


def bmp(width, height, bits, palette=b"", used=0, pixels=b""):
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835,
                       used, 0)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(palette) + len(pixels), 0, 0,
                         54 + len(palette))
    return header + info + palette + pixels


def grey_palette(n):
    return b"".join(bytes([i * 255 // max(n - 1, 1)] * 3 + [0]) for i in range(n))


def chunk(code, count, data):
    data += b"\0" * (-len(data) % 4)
    return struct.pack("<hhi", code, count, 8 + len(data)) + data


def obj(*chunks):
    body = b"".join(chunks)
    return struct.pack("<ii", 0, 8 + len(body)) + body


def vertices(points):
    return chunk(100, len(points), b"".join(struct.pack("<fff", *p) for p in points))


def faces(code, lists):
    return chunk(code, len(lists), b"".join(struct.pack("<%dh" % len(f), *f) for f in lists))


def texcoords(pairs):
    return chunk(103, len(pairs), b"".join(struct.pack("<ff", *p) for p in pairs))


def names(list_):
    return chunk(106, len(list_), b"".join(n + b"\0" for n in list_))


def select(k):
    return chunk(107, 1, struct.pack("<hh", k, 0))


CUBE = [(-0.5, -0.5, -0.5), (0.5, -0.5, -0.5), (0.5, 0.5, -0.5), (-0.5, 0.5, -0.5),
        (-0.5, -0.5, 0.5), (0.5, -0.5, 0.5), (0.5, 0.5, 0.5), (-0.5, 0.5, 0.5)]
CUBE_QUADS = [[0, 1, 2, 3], [5, 4, 7, 6], [4, 0, 3, 7], [1, 5, 6, 2], [4, 5, 1, 0], [3, 2, 6, 7]]
CUBE_UVS = [(0, 0), (1, 0), (1, 1), (0, 1), (0.5, 0.5), (0.25, 0.75), (0.7, 0.2), (1, 0.5)]

MULTI_OBJECT = obj(vertices(CUBE), texcoords(CUBE_UVS), names([b"a.bmp", b"b.bmp"]), select(1),
                   faces(105, CUBE_QUADS[:3]), select(0), faces(104, [[0, 1, 2], [2, 3, 0]]),
                   faces(101, [[4, 5, 6]]), faces(102, [[4, 5, 6, 7]]))
SINGLE_OBJECT = obj(vertices(CUBE), faces(105, CUBE_QUADS), faces(104, [[0, 2, 4]]))
ODD_OBJECT = obj(vertices(CUBE[:4]), chunk(200, 1, b"\1\2\3\4"), faces(102, [[0, 1, 2, 3]]),
                 vertices(CUBE[4:]), faces(101, [[0, 1, 2], [-1, -2, -3]]))


def head(bones, scale=512.0):
    return ("SEC_M_HEAD:\nIVVV\n%d  0.0 0.0 0.0 0.0  0.0 0.0 0.0 0.0  %.1f %.1f %.1f 0.0\n"
            "END_SEC:\n" % (bones, scale, scale, scale))


def born(records):
    lines = ["%d 0  %s 0.0  %s 0.0  0.0 0.0 0.0 0.0  0.0 0.0 0.0 0.0" % (
        pop, " ".join(map(str, t)), " ".join(map(str, r))) for pop, t, r in records]
    return "SEC_M_BORN:\nIIVVVV\n" + "\n".join(lines) + "\nEND_SEC:\n"


def model_text(objects, records, bones=None):
    text = head(len(objects) if bones is None else bones)
    text += "SEC_M_HIT:\nI\n0\nEND_SEC:\n"
    text += "SEC_M_OBJ:\nS\n" + "\n".join(objects) + "\nEND_SEC:\n"
    return (text + born(records)).encode()


def archive(model, files):
    return model + b"".join(FILE_MARK + name + b"\n" + data for name, data in files)


def anim_text(head_fields, seeks, data):
    return ("SEC_ANIM_HEAD:\nIIII\n%s\nEND_SEC:\nSEC_ANIM_SEEK:\nIIIIV\n%s\nEND_SEC:\n"
            "SEC_ANIM_DAT:\nV\n%s\nEND_SEC:\n" % (head_fields, "\n".join(seeks),
                                                 "\n".join(data))).encode()


def seeds():
    mdt = shipped("mdt.txt")
    an = shipped("an.txt")
    object_names = [line for line in mdt.decode().split("\n") if line.endswith(".obj")]
    tes = shipped("tes256.bmp")
    tes_palette = tes[54:54 + 1024]

    section = {
        "mdt.txt": mdt,
        "an.txt": an,
        "records.txt": b"A: IF 1 2.5 3 4.5 END_SEC:",
        "strings.txt": b"S: S ab abcd END_SEC:\n",
        "bad_record.txt": b"A: I 1 x END_SEC:\n",
        "unknown_letter.txt": b"A: IT 7 END_SEC:\n// comment at the end",
        "no_letters.txt": b"B: ZZ END_SEC:\nC: LV -5 1 2 3 4e2 END_SEC:",
        "comments.txt": b"// only a comment\n\t// and another\n",
        "numbers.txt": b"N: FFI 12abc -.5e-3 +3. END_SEC:\n",
        "empty.txt": b"",
    }

    texture = {
        "4bit.bmp": bmp(8, 8, 4, grey_palette(16), 0, bytes(range(32))),
        "4bit_used.bmp": bmp(8, 4, 4, grey_palette(2), 2, b"\x1f\x01\x10\x11" * 4),
        "8bit.bmp": bmp(16, 16, 8, tes_palette, 0, tes[54 + 1024:54 + 1024 + 256]),
        "8bit_used.bmp": bmp(4, 4, 8, grey_palette(4), 4, bytes(i % 4 for i in range(16))),
        "16bit.bmp": bmp(4, 2, 16, b"", 0, struct.pack("<8H", *range(0, 0x8000, 0x1000))),
        "24bit.bmp": bmp(4, 4, 24, b"", 0, bytes(range(48))),
        "32bit.bmp": bmp(2, 8, 32, b"", 0, bytes(range(64))),
        "width100.bmp": bmp(100, 4, 16, b"", 0, bytes(800)),
        "short.bmp": bmp(8, 8, 8, grey_palette(4), 4, bytes(20)),
    }

    objects = {"multi.obj": MULTI_OBJECT, "single.obj": SINGLE_OBJECT, "odd.obj": ODD_OBJECT}
    seen = set()
    for name in object_names:
        data = shipped(name)
        if data not in seen:
            seen.add(data)
            objects[name] = data

    textures = [(b"a.bmp", texture["16bit.bmp"]), (b"b.bmp", texture["8bit_used.bmp"])]
    model = {
        "shipped.arc": archive(mdt, [(n.encode(), shipped(n)) for n in object_names] +
                               [(b"an.txt", an)]),
        "multi.arc": archive(
            model_text(["m.obj", "s.obj"], [(0, (0, 10, 0), (0, 0, 0.5)),
                                            (1, (5, 0, 0), (0.2, 0, 0))]),
            [(b"m.obj", MULTI_OBJECT), (b"s.obj", SINGLE_OBJECT)] + textures +
            [(b"an.txt", anim_text("2 0 2 2", ["5 0 1 0 0 0 0 0", "3 0 0 1 0 0 0 0"],
                                   ["0 0 0 0", "10 20 30 0", "90 0 -45 0", "0 180 0 0"]))]),
        "odd.arc": archive(model_text(["o.obj"], [(0, (0, 0, 0), (0, 0, 0))], bones=3),
                           [(b"o.obj", ODD_OBJECT)]),
        "hit_only.arc": b"SEC_M_HIT:\nI\n1\nEND_SEC:\n",
        "missing_object.arc": model_text(["nothing.obj"], [(0, (0, 0, 0), (0, 0, 0))]),
    }

    anim = {
        "an.txt": an,
        "example.txt": anim_text("2 0 1 2", ["10 0 1 0 0 0 0 0", "4 0 0 1 0 0 0 0"],
                                 ["0 0 0 0", "90 0 0 0"]),
        "final.txt": anim_text("2 7 2 2", ["0 0 1 1 1.5 -2.5 3 4", "-3 0 -1 0 0 0 0 0"],
                               ["1000 -720 1.9 0", "20 360 -1.9 0", "0 0 0 0", "45 -90 180 0"]),
        "other_section.txt": b"X: I 1 END_SEC:\n" + an,
    }
    return {"section": section, "texture": texture, "object": objects, "model": model,
            "anim": anim}


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for target, files in seeds().items():
        directory = os.path.join(sys.argv[1], target)
        os.makedirs(directory, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(directory, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
