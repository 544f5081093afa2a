#!/usr/bin/env python3
"""Every RT_DIALOG of the built DLL (and the twin when built) against EXPECTED: form, header, controls."""
import os
import struct
import sys

from pe import PeImage, options, report

WS_POPUP, WS_CHILD, WS_VISIBLE, WS_DISABLED, WS_CAPTION = 0x80000000, 0x40000000, 0x10000000, 0x08000000, 0xC00000
WS_BORDER, WS_VSCROLL, WS_SYSMENU, WS_GROUP, WS_TABSTOP = 0x800000, 0x200000, 0x80000, 0x20000, 0x10000
DS_SYSMODAL, DS_SETFONT, DS_MODALFRAME, DS_SETFOREGROUND, DS_CENTER = 0x2, 0x40, 0x80, 0x200, 0x800
BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX, SS_CENTER, SS_BLACKFRAME, SS_SIMPLE, SS_SUNKEN = 1, 3, 7, 1, 7, 0xB, 0x1000
ES_MULTILINE, ES_PASSWORD, ES_AUTOHSCROLL, ES_READONLY, ES_WANTRETURN = 0x4, 0x20, 0x80, 0x800, 0x1000
LBS_NOTIFY, LBS_NOINTEGRALHEIGHT, CBS_DROPDOWN, CBS_SORT, PBS_SMOOTH = 0x1, 0x100, 0x2, 0x100, 0x1
ATOMS = {0x80: "button", 0x81: "edit", 0x82: "static", 0x83: "listbox", 0x85: "combobox"}
NO_ID, EN_US, FONT, C = 65535, 0x0409, (8, "MS Sans Serif"), WS_CHILD | WS_VISIBLE

# A control is (id, class, text, (x, y, width, height), style); the kinds as the tables name them.
def text(words, *rect, cid=NO_ID, bits=0): return (cid, "static", words, rect, C | WS_GROUP | bits)
def edit(cid, *rect, bits=0): return (cid, "edit", "", rect, C | WS_BORDER | WS_TABSTOP | bits)
def push(cid, words, *rect, bits=0): return (cid, "button", words, rect, C | WS_TABSTOP | bits)
def check(cid, words, *rect): return (cid, "button", words, rect, C | WS_TABSTOP | BS_AUTOCHECKBOX)
def group(words, *rect): return (NO_ID, "button", words, rect, C | BS_GROUPBOX)
def bar(*rect): return (1004, "msctls_progress32", "Progress1", rect, C | WS_BORDER | PBS_SMOOTH)

def dialog(caption, style, size, controls, pos=None, language=None, ordered=False):
    return dict(locals(), style=style | DS_SETFONT)

def wizard(caption, controls, picture=(10, 10), sunken=SS_SUNKEN):
    return dialog(caption, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, (315, 204), [
        push(1, "&Next >", 197, 185, 51, 14, bits=BS_DEFPUSHBUTTON | WS_GROUP),
        push(9, "Cancel", 254, 185, 51, 14, bits=WS_GROUP),
        push(12, "< &Back", 146, 185, 51, 14, bits=WS_GROUP),
        (1200, "static", "@10550,10551;1;1;0,128,128;0,128,128", picture + (80, 160), C | SS_SIMPLE),
        (1300, "static", "", (10, 178, 295, 1), C | SS_BLACKFRAME | sunken)] + controls)

def account_page(service):
    return wizard("Select %s Logon Account" % service, [
        text("%s must be logged in under an administrative account with the 'Login as Service' privilage. If you "
             "want to provide this at a later time, leave the fields blank" % service, 97, 10, 206, 27),
        text("Login", 98, 40, 18, 8), edit(1183, 97, 51, 204, 14, bits=ES_AUTOHSCROLL),
        text("Password", 97, 71, 32, 8), edit(1184, 96, 82, 204, 14, bits=ES_PASSWORD),
        text("Confirm Password", 96, 103, 57, 8), edit(1185, 95, 114, 204, 14, bits=ES_PASSWORD),
        text("Domain ", 96, 134, 27, 8), edit(1186, 95, 145, 204, 14, bits=ES_AUTOHSCROLL)])

EXPECTED = {
    104: account_page("ZUVadar"), 105: account_page("Tavrin"),
    106: wizard("Server List", [
        text("In addition to this server, Setup will also configure replication and install the RPC services to the "
             "following domain controllers. If you do not see all your BDCs listed, please add them to this list.",
             97, 10, 200, 38),
        (1006, "listbox", "", (96, 52, 151, 120), C | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY
         | LBS_NOINTEGRALHEIGHT),
        push(1000, "Add...", 253, 52, 50, 14), push(1007, "Remove...", 253, 70, 50, 14)]),
    13029: wizard("Select RPC Services to Install", [
        text("Select Services to Install:", 97, 10, 80, 8), check(1003, "Qorvex RPC Service", 96, 22, 94, 10),
        text("This service provides client-server registry manipulation for Windows NT/2000 clients. This service is "
             "neccessary to provide the full functionality of Qorvex when the user logging in does not have "
             "administrative rights to their Windows NT workstation.", 109, 32, 198, 41),
        check(1004, "KiXtart RPC Service", 97, 79, 79, 10),
        text("Unlike Windows NT, Windows 9x does not provide all the Win32 APIs that Qorvex needs to gather extended "
             "information, such as the user's full name, group memberships, etc. ", 109, 90, 198, 34),
        text("Without these RPC Services running on your Domain Controllers, Qorvex will function, though not all "
             "features will be available.", 109, 128, 195, 26),
        check(1000, "Automatically start these services at the end of Setup.", 96, 161, 185, 10)]),
    13030: wizard("Dialog Template", [
        edit(1005, 97, 10, 205, 113, bits=ES_MULTILINE | ES_READONLY | ES_WANTRETURN),
        (1003, "button", "B&rowse...", (149, 126, 42, 14), WS_CHILD | WS_DISABLED | WS_TABSTOP),  # hidden, disabled
        push(1002, "&Browse...", 259, 127, 42, 14), group("Destination Folder", 97, 140, 208, 30),
        edit(1004, 104, 154, 199, 12, bits=ES_READONLY | ES_AUTOHSCROLL)], sunken=0),
    13031: wizard("Dialog Template", [
        edit(1001, 91, 8, 213, 127, bits=ES_READONLY | ES_AUTOHSCROLL),
        group("Destination Folder (UNC)", 90, 140, 215, 30),
        edit(1183, 99, 153, 145, 12, bits=ES_READONLY | ES_AUTOHSCROLL),
        push(1000, "&Browse...", 250, 150, 50, 14)], picture=(7, 8)),
    102: dialog("", WS_POPUP | DS_SYSMODAL | DS_CENTER, (123, 22),
                [text("Configuring services, please wait...", 7, 7, 109, 8)]),
    107: dialog("Select Server", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, (213, 65), [
        push(1, "OK", 55, 44, 50, 14, bits=BS_DEFPUSHBUTTON), push(2, "Cancel", 108, 44, 50, 14),
        (1008, "combobox", "", (7, 28, 199, 82), C | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_SORT),
        text("Please select a domain controller from the list, or manually enter", 7, 7, 199, 8),
        text("a server name if it is not shown in the list.", 7, 16, 129, 8)], pos=(0, 0), language=EN_US,
        ordered=True),
    108: dialog("Installing Services", WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SYSMODAL | DS_MODALFRAME
                | DS_SETFOREGROUND | DS_CENTER, (186, 45),
                [text("Please Wait...", 7, 7, 172, 21, cid=1009), bar(7, 31, 172, 7)]),
    129: dialog("", WS_POPUP | WS_VISIBLE | WS_BORDER | DS_SETFOREGROUND | DS_CENTER, (186, 35),
                [text("Updating Settings, Please Wait....", 7, 6, 172, 8, bits=SS_CENTER), bar(7, 21, 172, 6)]),
}

def parse(data, language):
    """(header, controls) of a classic template; None for an extended one."""
    if struct.unpack_from("<HH", data, 0) == (1, 0xFFFF):
        return None
    at = [0]  # the cursor
    def take(fmt, align=1):
        at[0] = ((at[0] + align - 1) & -align) + struct.calcsize(fmt)
        return struct.unpack_from(fmt, data, at[0] - struct.calcsize(fmt))
    def sz_or_ord():
        start = at[0]
        if take("<H")[0] == 0xFFFF:
            return take("<H")[0]
        at[0] = next(i for i in range(start, len(data), 2) if data[i:i + 2] == b"\0\0") + 2
        return data[start:at[0] - 2].decode("utf-16-le")
    style, exstyle, count, x, y, cx, cy = take("<IIH4h")
    menu, cls, caption = sz_or_ord(), sz_or_ord(), sz_or_ord()
    font = (take("<H")[0], sz_or_ord()) if style & DS_SETFONT else None
    header = {"style": style, "exstyle": exstyle, "pos": (x, y), "size": (cx, cy), "menu": menu or 0, "class": cls or 0,
              "caption": caption, "font": font, "language": language}
    controls = []
    for _ in range(count):
        cstyle, cexstyle, x, y, cx, cy, cid = take("<II4hH", 4)
        ccls, ctext, (creation_bytes,) = sz_or_ord(), sz_or_ord(), take("<H")
        at[0] += creation_bytes
        ccls = ATOMS.get(ccls, ccls) if isinstance(ccls, int) else ccls.lower()  # named classes are case-blind
        controls.append((cid, ccls, ctext, (x, y, cx, cy), cstyle | (cexstyle << 32)))
    return header, controls

def compare(number, want, parsed):
    where = "template %d" % number
    if parsed is None:
        return [where + ": an extended template, not the classic form"]
    header, controls = parsed
    wanted = {"caption": want["caption"], "style": want["style"], "exstyle": 0, "size": want["size"], "font": FONT,
              "menu": 0, "class": 0, "pos": want["pos"], "language": want["language"]}
    diffs = ["%s: %s %r, expected %r" % (where, key, header[key], value) for key, value in wanted.items()
             if value is not None and header[key] != value]
    if sorted(controls) != sorted(want["controls"]):
        diffs.append("%s: controls not in the table %r, missing %r" % (where, [c for c in controls if c not in
                     want["controls"]], [c for c in want["controls"] if c not in controls]))
    elif want["ordered"] and controls != want["controls"]:
        diffs.append("%s: control order (tab order) %r" % (where, [c[0] for c in controls]))
    return diffs

def self_check(header, controls):  # the comparison must see a moved control and a changed caption
    moved = [(c[0], c[1], c[2], (c[3][0] + 1,) + c[3][1:], c[4]) if c[0] == 1184 else c for c in controls]
    changed = {"a moved control": (header, moved),
               "a changed caption": (dict(header, caption="Select ZUVadar Logon Acount"), controls)}
    return ["the comparison did not notice " + what for what, parsed in changed.items()
            if not compare(104, EXPECTED[104], parsed)]

def main():
    args = options("--win32-bin", win64_bin=None, source=None, output=None)
    dlls = [os.path.join(d, "QXINST.dll") for d in (args.win32_bin, args.win64_bin) if d]
    dlls = dlls[:1] + [p for p in dlls[1:] if os.path.exists(p)]
    failures = []
    for path in dlls:
        found, seen = [], {}
        for number, language, data in PeImage(path).resources(5):  # RT_DIALOG
            found += ["template %d is there in more than one language" % number] if number in seen else []
            seen[number] = parse(data, language)
        found += ["template %d is missing" % n for n in sorted(set(EXPECTED) - set(seen))] + [
            "template %d is not in the table" % n for n in sorted(set(seen) - set(EXPECTED))]
        for number in sorted(set(EXPECTED) & set(seen)):
            found += compare(number, EXPECTED[number], seen[number])
        failures += ["%s: %s" % (path, f) for f in found]
        if path == dlls[0] and 104 in seen and not compare(104, EXPECTED[104], seen[104]):
            failures += self_check(*seen[104])  # on the real template, once it matches
    return report(failures, "%d templates compared in %d DLL(s): " % (len(EXPECTED), len(dlls)), "all match")

sys.exit(main())
