#!/usr/bin/env python3
"""Templates 108 and 129 as both DLLs carry them in their RT_DIALOG resources, field by field:
styles, caption, font, geometry in dialog units, and each control's id, class, text, styles and
geometry. (The Wine tests see the live windows; this sees the bytes of the 32-bit deliverable.)"""
import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_dll import PeImage  # noqa: E402

WS_POPUP, WS_VISIBLE, WS_CHILD, WS_CAPTION = 0x80000000, 0x10000000, 0x40000000, 0x00C00000
WS_BORDER, WS_GROUP = 0x00800000, 0x00020000
DS_SYSMODAL, DS_MODALFRAME, DS_SETFONT, DS_SETFOREGROUND, DS_CENTER = 0x2, 0x80, 0x40, 0x200, 0x800
SS_CENTER, PBS_SMOOTH, STATIC = 0x1, 0x1, 0x0082
BAR = WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH
LABEL = WS_CHILD | WS_VISIBLE | WS_GROUP

# number: (style, caption, rect, font, [(id, class, text, style, rect)])
EXPECTED = {
    108: (WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SYSMODAL | DS_MODALFRAME | DS_SETFONT | DS_SETFOREGROUND
          | DS_CENTER, "Installing Services", (0, 0, 186, 45), (8, "MS Sans Serif"),
          [(1009, STATIC, "Please Wait...", LABEL, (7, 7, 172, 21)),
           (1004, "msctls_progress32", "Progress1", BAR, (7, 31, 172, 7))]),
    129: (WS_POPUP | WS_VISIBLE | WS_BORDER | DS_SETFONT | DS_SETFOREGROUND | DS_CENTER, "", (0, 0, 186, 35),
          (8, "MS Sans Serif"),
          [(0xFFFF, STATIC, "Updating Settings, Please Wait....", LABEL | SS_CENTER, (7, 6, 172, 8)),
           (1004, "msctls_progress32", "Progress1", BAR, (7, 21, 172, 6))]),
}


def dialogs(image):
    """{number: offset} of the RT_DIALOG resources (first language of each)."""
    base = image.offset(image.directories[2][0])

    def entries(off):
        named, ids = struct.unpack_from("<HH", image.data, off + 12)
        return [struct.unpack_from("<II", image.data, off + 16 + 8 * i) for i in range(named + ids)]

    found = {}
    for type_id, types in entries(base):
        if type_id == 5:
            for number, langs in entries(base + (types & 0x7FFFFFFF)):
                leaf = entries(base + (langs & 0x7FFFFFFF))[0][1]
                found[number] = image.offset(struct.unpack_from("<I", image.data, base + leaf)[0])
    return found


def parse(data, off):
    pos = [off]

    def take(fmt):
        value = struct.unpack_from(fmt, data, pos[0])
        pos[0] += struct.calcsize(fmt)
        return value if len(value) > 1 else value[0]

    def sz():
        chars = []
        while (c := take("<H")) != 0:
            chars.append(chr(c))
        return "".join(chars)

    def sz_or_ord():
        if struct.unpack_from("<H", data, pos[0])[0] == 0xFFFF:
            return take("<HH")[1]
        return sz()

    style, exstyle, count = take("<IIH")
    rect = take("<hhhh")
    head = (style, exstyle, rect, sz_or_ord(), sz_or_ord(), sz())
    font = take("<H") if style & DS_SETFONT else None
    font = (font, sz()) if font is not None else None
    controls = []
    for _ in range(count):
        pos[0] = off + ((pos[0] - off + 3) & ~3)
        cstyle, cexstyle = take("<II")
        crect = take("<hhhh")
        cid = take("<H")
        cls, text = sz_or_ord(), sz_or_ord()
        extra = take("<H")
        pos[0] += extra
        controls.append((cid, cls.lower() if isinstance(cls, str) else cls, text, cstyle, crect, cexstyle))
    return head, font, controls


def check(dll):
    failures = []
    image = PeImage(dll)
    found = dialogs(image)
    for number, (style, caption, rect, font, controls) in EXPECTED.items():
        if number not in found:
            failures.append("%s: no template %d" % (dll, number))
            continue
        head, got_font, got_controls = parse(image.data, found[number])
        want_head = (style, 0, rect, "", "", caption)
        # Class names are case-blind (resource compilers store them in capitals).
        want_controls = [(i, c, t, s, r, 0) for i, c, t, s, r in controls]
        for what, got, want in (("header", head, want_head), ("font", got_font, font),
                                ("controls", got_controls, want_controls)):
            if got != want:
                failures.append("%s template %d %s: %r, want %r" % (dll, number, what, got, want))
    return failures


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--win32-bin", required=True)
    ap.add_argument("--win64-bin", required=True)
    ap.add_argument("--source")
    ap.add_argument("--output")
    args = ap.parse_args()
    failures = check(os.path.join(args.win32_bin, "QXINST.dll")) + check(os.path.join(args.win64_bin, "QXINST.dll"))
    for failure in failures:
        print("FAIL: " + failure)
    print("progress templates 108 and 129: %s" % ("FAILED" if failures else "as required in both DLLs"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
