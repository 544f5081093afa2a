#!/usr/bin/env python3
"""The two progress windows' dialog templates as they are stored in both DLLs' resources.

Template 108 ("Installing Services") and template 129 (the settings-loading window) are read from
the RT_DIALOG resources of build/win32 and build/win64 QXINST.dll and compared field by field with
what the windows must be: styles, caption, font, geometry in dialog units, and each control's id,
class, text, styles and geometry. The Wine tests see the live windows; this sees the bytes the
32-bit deliverable carries.
"""
import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_dll import PeImage  # noqa: E402

RT_DIALOG = 5

WS_POPUP, WS_VISIBLE, WS_CHILD = 0x80000000, 0x10000000, 0x40000000
WS_CAPTION, WS_BORDER, WS_GROUP, WS_SYSMENU = 0x00C00000, 0x00800000, 0x00020000, 0x00080000
DS_SYSMODAL, DS_MODALFRAME, DS_SETFONT, DS_SETFOREGROUND, DS_CENTER = 0x2, 0x80, 0x40, 0x200, 0x800
SS_LEFT, SS_CENTER, PBS_SMOOTH = 0x0, 0x1, 0x1
STATIC_ATOM = 0x0082

EXPECTED = {
    108: {
        "style": WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SYSMODAL | DS_MODALFRAME | DS_SETFONT
                 | DS_SETFOREGROUND | DS_CENTER,
        "caption": "Installing Services",
        "rect": (0, 0, 186, 45),
        "font": (8, "MS Sans Serif"),
        "controls": [
            (1009, STATIC_ATOM, "Please Wait...", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, (7, 7, 172, 21)),
            (1004, "msctls_progress32", "Progress1", WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH,
             (7, 31, 172, 7)),
        ],
    },
    129: {
        "style": WS_POPUP | WS_VISIBLE | WS_BORDER | DS_SETFONT | DS_SETFOREGROUND | DS_CENTER,
        "caption": "",
        "rect": (0, 0, 186, 35),
        "font": (8, "MS Sans Serif"),
        "controls": [
            (0xFFFF, STATIC_ATOM, "Updating Settings, Please Wait....",
             WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER, (7, 6, 172, 8)),
            (1004, "msctls_progress32", "Progress1", WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH,
             (7, 21, 172, 6)),
        ],
    },
}


def resource_entries(image, type_id):
    """{name id: (data offset, size)} of the first language of each resource of a type."""
    rva, _ = image.directories[2]
    base = image.offset(rva)
    data = image.data

    def entries(off):
        named, ids = struct.unpack_from("<HH", data, off + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, off + 16 + 8 * i)
            yield name, target

    result = {}
    for name, target in entries(base):
        if name != type_id or not target & 0x80000000:
            continue
        for res_name, res_target in entries(base + (target & 0x7FFFFFFF)):
            lang_dir = base + (res_target & 0x7FFFFFFF)
            _, lang_target = next(entries(lang_dir))
            data_rva, size = struct.unpack_from("<II", data, base + lang_target)
            result[res_name] = (image.offset(data_rva), size)
    return result


class Reader:
    def __init__(self, data, off):
        self.data, self.off, self.start = data, off, off

    def word(self):
        value = struct.unpack_from("<H", self.data, self.off)[0]
        self.off += 2
        return value

    def dword(self):
        value = struct.unpack_from("<I", self.data, self.off)[0]
        self.off += 4
        return value

    def short(self):
        value = struct.unpack_from("<h", self.data, self.off)[0]
        self.off += 2
        return value

    def sz(self):
        chars = []
        while True:
            c = self.word()
            if c == 0:
                return "".join(chars)
            chars.append(chr(c))

    def sz_or_ord(self):
        first = struct.unpack_from("<H", self.data, self.off)[0]
        if first == 0xFFFF:
            self.off += 2
            return self.word()
        return self.sz()

    def align(self):
        self.off = self.start + ((self.off - self.start + 3) & ~3)


def parse_dialog(data, off):
    r = Reader(data, off)
    dialog = {"style": r.dword(), "exstyle": r.dword()}
    count = r.word()
    dialog["rect"] = (r.short(), r.short(), r.short(), r.short())
    dialog["menu"] = r.sz_or_ord()
    dialog["class"] = r.sz_or_ord()
    dialog["caption"] = r.sz()
    if dialog["style"] & DS_SETFONT:
        dialog["font"] = (r.word(), r.sz())
    controls = []
    for _ in range(count):
        r.align()
        style, exstyle = r.dword(), r.dword()
        rect = (r.short(), r.short(), r.short(), r.short())
        control_id = r.word()
        cls = r.sz_or_ord()
        text = r.sz_or_ord()
        extra = r.word()
        r.off += extra
        controls.append((control_id, cls, text, style, rect, exstyle))
    dialog["controls"] = controls
    return dialog


def check(dll):
    failures = []
    image = PeImage(dll)
    dialogs = resource_entries(image, RT_DIALOG)
    for number, want in EXPECTED.items():
        if number not in dialogs:
            failures.append("%s: no dialog template %d" % (dll, number))
            continue
        got = parse_dialog(image.data, dialogs[number][0])
        where = "%s template %d" % (os.path.basename(os.path.dirname(dll)) + "/" + os.path.basename(dll), number)
        if got["style"] != want["style"]:
            failures.append("%s: style %#x, want %#x" % (where, got["style"], want["style"]))
        if got["style"] & WS_SYSMENU:
            failures.append("%s: has a system menu" % where)
        for key in ("caption", "rect", "font"):
            if got.get(key) != want[key]:
                failures.append("%s: %s %r, want %r" % (where, key, got.get(key), want[key]))
        if got["exstyle"] != 0 or got["menu"] != "" or got["class"] != "":
            failures.append("%s: unexpected extended style, menu or class" % where)
        if len(got["controls"]) != len(want["controls"]):
            failures.append("%s: %d controls, want %d" % (where, len(got["controls"]), len(want["controls"])))
            continue
        for (cid, cls, text, style, rect, exstyle), (wid, wcls, wtext, wstyle, wrect) in zip(got["controls"],
                                                                                            want["controls"]):
            # Class names are case-blind (resource compilers store them in capitals).
            if isinstance(cls, str) and isinstance(wcls, str) and cls.lower() == wcls.lower():
                cls = wcls
            if (cid, cls, text, style, rect, exstyle) != (wid, wcls, wtext, wstyle, wrect, 0):
                failures.append("%s: control %r, want %r" % (where, (cid, cls, text, hex(style), rect, exstyle),
                                                             (wid, wcls, wtext, hex(wstyle), wrect, 0)))
    return failures


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--win32-bin", required=True)
    ap.add_argument("--win64-bin", required=True)
    ap.add_argument("--source")
    ap.add_argument("--output")
    args = ap.parse_args()
    failures = []
    for folder in (args.win32_bin, args.win64_bin):
        failures += check(os.path.join(folder, "QXINST.dll"))
    for failure in failures:
        print("FAIL: " + failure)
    print("progress templates: %s" % ("FAILED" if failures else "both DLLs carry 108 and 129 as required"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
