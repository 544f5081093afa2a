#!/usr/bin/env python3
"""The dialog templates carried by QXINST.dll, read back out of the built DLLs.

Every RT_DIALOG resource of the 32-bit deliverable (and of the 64-bit twin, when it is built) is
parsed from the PE image and compared with the table below: each dialog's form (classic template),
caption, style, size, font and language, and each control's id, class, text, position, size and
style bits. A typo in a text, a moved control or a lost style bit fails. The progress windows (108,
129) are compared when their resource script is part of the tree.

The comparison itself is checked on the real data: a copy of one template with a typo, one with a
moved control and one with a lost style bit must each be reported.
"""
import argparse
import copy
import os
import struct
import sys

# ---- window and control styles (winuser.h, commctrl.h) ----
WS_POPUP = 0x80000000
WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
WS_DISABLED = 0x08000000
WS_CAPTION = 0x00C00000
WS_BORDER = 0x00800000
WS_VSCROLL = 0x00200000
WS_SYSMENU = 0x00080000
WS_GROUP = 0x00020000
WS_TABSTOP = 0x00010000
DS_SYSMODAL = 0x0002
DS_SETFONT = 0x0040
DS_MODALFRAME = 0x0080
DS_SETFOREGROUND = 0x0200
DS_CENTER = 0x0800
BS_PUSHBUTTON = 0x0
BS_DEFPUSHBUTTON = 0x1
BS_AUTOCHECKBOX = 0x3
BS_GROUPBOX = 0x7
SS_LEFT = 0x0
SS_CENTER = 0x1
SS_BLACKFRAME = 0x7
SS_SIMPLE = 0xB
SS_SUNKEN = 0x1000
ES_MULTILINE = 0x4
ES_PASSWORD = 0x20
ES_AUTOHSCROLL = 0x80
ES_READONLY = 0x800
ES_WANTRETURN = 0x1000
LBS_NOTIFY = 0x1
LBS_NOINTEGRALHEIGHT = 0x100
CBS_DROPDOWN = 0x2
CBS_SORT = 0x100
PBS_SMOOTH = 0x1

ATOMS = {0x80: "Button", 0x81: "Edit", 0x82: "Static", 0x83: "ListBox", 0x84: "ScrollBar", 0x85: "ComboBox"}
RT_DIALOG = 5
NO_ID = 65535
EN_US = 0x0409
FONT = (8, "MS Sans Serif")

CHILD = WS_CHILD | WS_VISIBLE


def control(cid, cls, text, rect, style):
    return {"id": cid, "class": cls, "text": text, "rect": rect, "style": style}


# Kinds of control as they stand in the tables, with the bits each kind means. Input controls
# (buttons, check boxes, edit fields, lists) are tab stops; texts start a group.
def text(words, rect, centred=False):
    return control(NO_ID, "Static", words, rect, CHILD | WS_GROUP | (SS_CENTER if centred else SS_LEFT))


def edit(cid, rect, *bits):
    style = CHILD | WS_BORDER | WS_TABSTOP
    for bit in bits:
        style |= bit
    return control(cid, "Edit", "", rect, style)


def button(cid, words, rect, extra=0):
    return control(cid, "Button", words, rect, CHILD | WS_TABSTOP | BS_PUSHBUTTON | extra)


def check(cid, words, rect):
    return control(cid, "Button", words, rect, CHILD | WS_TABSTOP | BS_AUTOCHECKBOX)


def group_box(words, rect):
    return control(NO_ID, "Button", words, rect, CHILD | BS_GROUPBOX)


def wizard_common(picture_at=(10, 10), sunken_separator=True):
    return [
        control(1, "Button", "&Next >", (197, 185, 51, 14), CHILD | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP),
        control(9, "Button", "Cancel", (254, 185, 51, 14), CHILD | BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP),
        control(12, "Button", "< &Back", (146, 185, 51, 14), CHILD | BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP),
        control(1200, "Static", "@10550,10551;1;1;0,128,128;0,128,128", picture_at + (80, 160), CHILD | SS_SIMPLE),
        control(1300, "Static", "", (10, 178, 295, 1),
                CHILD | SS_BLACKFRAME | (SS_SUNKEN if sunken_separator else 0)),
    ]


WIZARD_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT


def wizard(caption, controls, **common):
    return {"caption": caption, "style": WIZARD_STYLE, "pos": None, "size": (315, 204),
            "controls": wizard_common(**common) + controls, "ordered": False, "language": None}


def account_page(service):
    return wizard("Select %s Logon Account" % service, [
        text("%s must be logged in under an administrative account with the 'Login as Service' privilage. "
             "If you want to provide this at a later time, leave the fields blank" % service, (97, 10, 206, 27)),
        text("Login", (98, 40, 18, 8)),
        edit(1183, (97, 51, 204, 14), ES_AUTOHSCROLL),
        text("Password", (97, 71, 32, 8)),
        edit(1184, (96, 82, 204, 14), ES_PASSWORD),
        text("Confirm Password", (96, 103, 57, 8)),
        edit(1185, (95, 114, 204, 14), ES_PASSWORD),
        text("Domain ", (96, 134, 27, 8)),
        edit(1186, (95, 145, 204, 14), ES_AUTOHSCROLL),
    ])


EXPECTED = {
    104: account_page("ZUVadar"),
    105: account_page("Tavrin"),
    106: wizard("Server List", [
        text("In addition to this server, Setup will also configure replication and install the RPC services to "
             "the following domain controllers. If you do not see all your BDCs listed, please add them to this "
             "list.", (97, 10, 200, 38)),
        control(1006, "ListBox", "", (96, 52, 151, 120),
                CHILD | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT),
        button(1000, "Add...", (253, 52, 50, 14)),
        button(1007, "Remove...", (253, 70, 50, 14)),
    ]),
    13029: wizard("Select RPC Services to Install", [
        text("Select Services to Install:", (97, 10, 80, 8)),
        check(1003, "Qorvex RPC Service", (96, 22, 94, 10)),
        text("This service provides client-server registry manipulation for Windows NT/2000 clients. This service "
             "is neccessary to provide the full functionality of Qorvex when the user logging in does not have "
             "administrative rights to their Windows NT workstation.", (109, 32, 198, 41)),
        check(1004, "KiXtart RPC Service", (97, 79, 79, 10)),
        text("Unlike Windows NT, Windows 9x does not provide all the Win32 APIs that Qorvex needs to gather "
             "extended information, such as the user's full name, group memberships, etc. ", (109, 90, 198, 34)),
        text("Without these RPC Services running on your Domain Controllers, Qorvex will function, though not all "
             "features will be available.", (109, 128, 195, 26)),
        check(1000, "Automatically start these services at the end of Setup.", (96, 161, 185, 10)),
    ]),
    13030: wizard("Dialog Template", [
        edit(1005, (97, 10, 205, 113), ES_MULTILINE, ES_READONLY, ES_WANTRETURN),
        control(1003, "Button", "B&rowse...", (149, 126, 42, 14), WS_CHILD | WS_DISABLED | WS_TABSTOP),
        button(1002, "&Browse...", (259, 127, 42, 14)),
        group_box("Destination Folder", (97, 140, 208, 30)),
        edit(1004, (104, 154, 199, 12), ES_READONLY, ES_AUTOHSCROLL),
    ], sunken_separator=False),
    13031: wizard("Dialog Template", [
        edit(1001, (91, 8, 213, 127), ES_READONLY, ES_AUTOHSCROLL),
        group_box("Destination Folder (UNC)", (90, 140, 215, 30)),
        edit(1183, (99, 153, 145, 12), ES_READONLY, ES_AUTOHSCROLL),
        button(1000, "&Browse...", (250, 150, 50, 14)),
    ], picture_at=(7, 8)),
    102: {"caption": "", "style": WS_POPUP | DS_SYSMODAL | DS_CENTER | DS_SETFONT, "pos": None,
          "size": (123, 22), "ordered": False, "language": None,
          "controls": [text("Configuring services, please wait...", (7, 7, 109, 8))]},
    107: {"caption": "Select Server", "style": WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
          "pos": (0, 0), "size": (213, 65), "ordered": True, "language": EN_US,
          "controls": [
              control(1, "Button", "OK", (55, 44, 50, 14), CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON),
              control(2, "Button", "Cancel", (108, 44, 50, 14), CHILD | WS_TABSTOP | BS_PUSHBUTTON),
              control(1008, "ComboBox", "", (7, 28, 199, 82), CHILD | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_SORT),
              text("Please select a domain controller from the list, or manually enter", (7, 7, 199, 8)),
              text("a server name if it is not shown in the list.", (7, 16, 129, 8)),
          ]},
}

# The progress windows, compared once their resource script is in the tree.
PROGRESS_TEMPLATES = {
    108: {"caption": "Installing Services", "size": (186, 45), "pos": None, "ordered": False, "language": None,
          "style": WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SYSMODAL | DS_MODALFRAME | DS_SETFONT | DS_SETFOREGROUND
          | DS_CENTER,
          "controls": [
              control(1009, "Static", "Please Wait...", (7, 7, 172, 21), CHILD | WS_GROUP | SS_LEFT),
              control(1004, "msctls_progress32", "Progress1", (7, 31, 172, 7), CHILD | WS_BORDER | PBS_SMOOTH),
          ]},
    129: {"caption": "", "size": (186, 35), "pos": None, "ordered": False, "language": None,
          "style": WS_POPUP | WS_VISIBLE | WS_BORDER | DS_SETFONT | DS_SETFOREGROUND | DS_CENTER,
          "controls": [
              text("Updating Settings, Please Wait....", (7, 6, 172, 8), centred=True),
              control(1004, "msctls_progress32", "Progress1", (7, 21, 172, 6), CHILD | WS_BORDER | PBS_SMOOTH),
          ]},
}


# ---- reading the resources out of a PE image ----

class PeResources:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise ValueError(path + " is not a PE image")
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        nsections, opt_size = struct.unpack_from("<H12xH", self.data, pe + 6)
        opt = pe + 24
        pe32plus = struct.unpack_from("<H", self.data, opt)[0] == 0x20B
        dirs = opt + (112 if pe32plus else 96)
        self.rsrc_rva, _ = struct.unpack_from("<II", self.data, dirs + 8 * 2)
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", self.data, sec + 40 * i + 8)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for va, size, rawptr in self.sections:
            if va <= rva < va + size:
                return rawptr + rva - va
        raise ValueError("RVA %#x is in no section" % rva)

    def _entries(self, table_off):
        named, ids = struct.unpack_from("<12xHH", self.data, table_off)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, table_off + 16 + 8 * i)
            yield (None if name & 0x80000000 else name), bool(target & 0x80000000), target & 0x7FFFFFFF

    def of_type(self, rtype):
        """(id, language) -> bytes for every resource of a numbered type with a numbered name."""
        if self.rsrc_rva == 0:
            return {}
        root = self.offset(self.rsrc_rva)
        found = {}
        for type_id, is_dir, type_off in self._entries(root):
            if type_id != rtype or not is_dir:
                continue
            for name_id, name_is_dir, name_off in self._entries(root + type_off):
                for lang, _, data_off in self._entries(root + name_off):
                    rva, size = struct.unpack_from("<II", self.data, root + data_off)
                    off = self.offset(rva)
                    found[(name_id, lang)] = self.data[off:off + size]
        return found


def read_sz_or_ord(data, off):
    if struct.unpack_from("<H", data, off)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, off + 2)[0], off + 4
    end = off
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[off:end].decode("utf-16-le"), end + 2


def parse_dialog(data):
    """A classic dialog template as a dict; 'extended' is set when it is a DLGTEMPLATEEX."""
    if struct.unpack_from("<HH", data, 0) == (1, 0xFFFF):
        return {"extended": True}
    style, exstyle, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    off = 18
    menu, off = read_sz_or_ord(data, off)
    cls, off = read_sz_or_ord(data, off)
    caption, off = read_sz_or_ord(data, off)
    font = None
    if style & DS_SETFONT:
        size = struct.unpack_from("<H", data, off)[0]
        face, off = read_sz_or_ord(data, off + 2)
        font = (size, face)
    controls = []
    for _ in range(count):
        off = (off + 3) & ~3
        cstyle, cexstyle, cx_, cy_, cw, ch, cid = struct.unpack_from("<IIhhhhH", data, off)
        off += 18
        ccls, off = read_sz_or_ord(data, off)
        ctext, off = read_sz_or_ord(data, off)
        extra = struct.unpack_from("<H", data, off)[0]
        off += 2 + extra
        controls.append({"id": cid, "class": ATOMS.get(ccls, ccls) if isinstance(ccls, int) else ccls,
                         "text": ctext if isinstance(ctext, str) else "#%d" % ctext,
                         "rect": (cx_, cy_, cw, ch), "style": cstyle, "exstyle": cexstyle})
    return {"extended": False, "style": style, "exstyle": exstyle, "pos": (x, y), "size": (cx, cy),
            "menu": menu, "class": cls, "caption": caption, "font": font, "controls": controls}


# ---- the comparison ----

def styles(value):
    return "%#010x" % value


def compare(number, expected, actual, language):
    """The differences between a template of the table and the one read from the DLL."""
    diffs = []
    where = "template %d" % number
    if actual.get("extended"):
        return [where + ": an extended template, not the classic form"]
    if expected["language"] is not None and language != expected["language"]:
        diffs.append("%s: language %#06x, expected %#06x" % (where, language, expected["language"]))
    if actual["caption"] != expected["caption"]:
        diffs.append("%s: caption %r, expected %r" % (where, actual["caption"], expected["caption"]))
    if actual["style"] != expected["style"]:
        diffs.append("%s: style %s, expected %s" % (where, styles(actual["style"]), styles(expected["style"])))
    if actual["exstyle"] != 0:
        diffs.append("%s: extended style %#x, expected none" % (where, actual["exstyle"]))
    if actual["size"] != expected["size"]:
        diffs.append("%s: size %s, expected %s" % (where, actual["size"], expected["size"]))
    if expected["pos"] is not None and actual["pos"] != expected["pos"]:
        diffs.append("%s: position %s, expected %s" % (where, actual["pos"], expected["pos"]))
    if actual["font"] != FONT:
        diffs.append("%s: font %s, expected %s" % (where, actual["font"], FONT))
    if actual["menu"] not in (0, "") or actual["class"] not in (0, ""):
        diffs.append("%s: has a menu or a window class of its own" % where)

    remaining = list(actual["controls"])
    for want in expected["controls"]:
        # Controls without an id of their own are told apart by their text.
        match = [c for c in remaining if c["id"] == want["id"] and (want["id"] != NO_ID or c["text"] == want["text"])]
        label = "%s control %s %r" % (where, want["id"], want["text"][:40])
        if not match:
            diffs.append(label + ": missing")
            continue
        got = match[0]
        remaining.remove(got)
        # Window class names are case-blind (the resource compiler writes named classes upper-cased).
        if got["class"].casefold() != want["class"].casefold():
            diffs.append("%s: class %r, expected %r" % (label, got["class"], want["class"]))
        for key in ("text", "rect"):
            if got[key] != want[key]:
                diffs.append("%s: %s %r, expected %r" % (label, key, got[key], want[key]))
        if got["style"] != want["style"]:
            diffs.append("%s: style %s, expected %s (differing bits %s)" % (
                label, styles(got["style"]), styles(want["style"]), styles(got["style"] ^ want["style"])))
        if got["exstyle"] != 0:
            diffs.append("%s: extended style %#x, expected none" % (label, got["exstyle"]))
    for extra in remaining:
        diffs.append("%s: control %s %r is not in the table" % (where, extra["id"], extra["text"][:40]))
    if expected["ordered"] and not diffs:
        order = [(c["id"], c["text"]) for c in actual["controls"]]
        want_order = [(c["id"], c["text"]) for c in expected["controls"]]
        if order != want_order:
            diffs.append("%s: control order (tab order) %s, expected %s" % (where, order, want_order))
    return diffs


def check_dll(path, expected):
    dialogs = PeResources(path).of_type(RT_DIALOG)
    failures = []
    by_number = {}
    for (number, language), data in dialogs.items():
        if number in by_number:
            failures.append("%s: template %d is there in more than one language" % (path, number))
        by_number[number] = (language, parse_dialog(data))
    for number in sorted(expected):
        if number not in by_number:
            failures.append("%s: template %d is missing" % (path, number))
            continue
        language, actual = by_number[number]
        failures += ["%s: %s" % (os.path.basename(path), d) for d in compare(number, expected[number], actual, language)]
    for number in sorted(set(by_number) - set(expected)):
        failures.append("%s: template %d is not in the table" % (path, number))
    return failures, by_number


def self_check(by_number, expected):
    """The comparison must see a typo, a moved control and a lost style bit in the real templates."""
    failures = []
    language, page = by_number[104]
    mutations = {
        "a typo in a text": lambda d: d["controls"][[c["text"] for c in d["controls"]].index("Domain ")].update(
            text="Domain"),
        "a moved control": lambda d: d["controls"][0].update(rect=(198,) + d["controls"][0]["rect"][1:]),
        "a lost style bit": lambda d: d["controls"][[c["id"] for c in d["controls"]].index(1184)].update(
            style=d["controls"][[c["id"] for c in d["controls"]].index(1184)]["style"] & ~ES_PASSWORD),
        "a changed caption": lambda d: d.update(caption="Select ZUVadar Logon Acount"),
    }
    for what, mutate in mutations.items():
        changed = copy.deepcopy(page)
        mutate(changed)
        if not compare(104, expected[104], changed, language):
            failures.append("the comparison did not notice " + what)
    return failures


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--win32-bin", required=True)
    ap.add_argument("--win64-bin")
    ap.add_argument("--source", required=True)
    ap.add_argument("--output", required=True)
    args = ap.parse_args()

    dlls = [os.path.join(args.win32_bin, "QXINST.dll")]
    if args.win64_bin and os.path.exists(os.path.join(args.win64_bin, "QXINST.dll")):
        dlls.append(os.path.join(args.win64_bin, "QXINST.dll"))

    # The progress windows are compared once their resource script is in the tree (or the DLL
    # carries them under another script's name).
    expected = dict(EXPECTED)
    carried = {number for number, _ in PeResources(dlls[0]).of_type(RT_DIALOG)}
    with_progress = (os.path.exists(os.path.join(args.source, "src", "resources", "progress.rc"))
                     or bool(carried & set(PROGRESS_TEMPLATES)))
    if with_progress:
        expected.update(PROGRESS_TEMPLATES)

    failures = []
    report = []
    for path in dlls:
        found, by_number = check_dll(path, expected)
        failures += found
        report.append("%s: templates %s" % (path, ", ".join(str(n) for n in sorted(by_number))))
        if path == dlls[0] and 104 in by_number:
            failures += self_check(by_number, expected)

    os.makedirs(args.output, exist_ok=True)
    with open(os.path.join(args.output, "dialogs.txt"), "w") as f:
        f.write("\n".join(report + failures) + "\n")
    for failure in failures:
        print("FAIL: " + failure)
    print("%d templates compared in %d DLL(s)%s: %s" % (
        len(expected), len(dlls), " (with the progress windows)" if with_progress else "",
        "FAILED" if failures else "all match"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
