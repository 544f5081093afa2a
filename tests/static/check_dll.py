#!/usr/bin/env python3
"""Static checks of the 32-bit deliverable, for what cannot run on this machine.

- The DLL is a PE image for the expected machine, marked as a DLL.
- Its exports are exactly the names of the .def file: undecorated, no extra and none missing, and
  each is declared in the host header qxinst.h.
- It imports only from system DLLs (the C/C++ runtime helpers are linked in statically).
- Every export returns with a plain 'ret' (cdecl: the caller removes the arguments): the code
  reachable from each export without calls, following jumps, has no 'ret N'.
- qxcall.exe (when given) is an executable for the same machine.
"""
import argparse
import re
import struct
import subprocess
import sys

MACHINES = {"i386": 0x14C, "x86_64": 0x8664}
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "advapi32.dll", "netapi32.dll", "mpr.dll", "shell32.dll",
    "comctl32.dll", "ole32.dll", "gdi32.dll", "msvcrt.dll", "shlwapi.dll", "ws2_32.dll",
}

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


class PeImage:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise ValueError(path + " is not a PE image")
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(path + " has no PE header")
        self.machine, nsections, _, _, _, opt_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", self.data, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", self.data, opt)[0]
        self.pe32plus = magic == 0x20B
        self.image_base = struct.unpack_from("<Q" if self.pe32plus else "<I", self.data,
                                             opt + (24 if self.pe32plus else 28))[0]
        dirs = opt + (112 if self.pe32plus else 96)
        self.directories = [struct.unpack_from("<II", self.data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", self.data, sec + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), va, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                return rawptr + (rva - va)
        raise ValueError("RVA %#x is in no section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def exports(self):
        rva, size = self.directories[0]
        if rva == 0:
            return {}
        off = self.offset(rva)
        _, _, _, _, name_rva, base, nfuncs, nnames, funcs, names, ordinals = struct.unpack_from(
            "<IIHHIIIIIII", self.data, off)
        result = {}
        for i in range(nnames):
            name = self.cstring(struct.unpack_from("<I", self.data, self.offset(names) + 4 * i)[0])
            ordinal = struct.unpack_from("<H", self.data, self.offset(ordinals) + 2 * i)[0]
            result[name] = struct.unpack_from("<I", self.data, self.offset(funcs) + 4 * ordinal)[0]
        return result

    def imported_dlls(self):
        rva, size = self.directories[1]
        dlls = []
        if rva == 0:
            return dlls
        off = self.offset(rva)
        while True:
            fields = struct.unpack_from("<IIIII", self.data, off)
            if fields[3] == 0:
                break
            dlls.append(self.cstring(fields[3]))
            off += 20
        return dlls


def def_exports(path):
    names = []
    in_exports = False
    for line in open(path, encoding="latin-1"):
        line = line.split(";")[0].strip()
        if not line:
            continue
        if line.upper() == "EXPORTS":
            in_exports = True
        elif in_exports:
            names.append(line.split()[0])
    return names


def header_declarations(path):
    text = open(path, encoding="latin-1").read()
    return set(re.findall(r"\bQXAPI\s+(\w+)\s*\(", text))


def disassembly(objdump, path):
    """Address -> (mnemonic, operands, next address) for the whole image's code."""
    out = subprocess.run([objdump, "-d", "--no-show-raw-insn", "-M", "intel", path],
                         capture_output=True, text=True, check=True).stdout
    insns = []
    for line in out.splitlines():
        m = re.match(r"^\s*([0-9a-f]+):\s+(\S+)\s*(.*)$", line)
        if m:
            insns.append((int(m.group(1), 16), m.group(2), m.group(3).strip()))
    table = {}
    for i, (addr, mnem, ops) in enumerate(insns):
        nxt = insns[i + 1][0] if i + 1 < len(insns) else None
        table[addr] = (mnem, ops, nxt)
    return table


def returns_of(table, start):
    """The return instructions reachable from start without following calls."""
    seen, rets, todo = set(), [], [start]
    while todo:
        addr = todo.pop()
        while addr is not None and addr not in seen and addr in table:
            seen.add(addr)
            mnem, ops, nxt = table[addr]
            if mnem.startswith("ret"):
                rets.append((addr, mnem, ops))
                break
            if mnem.startswith("j"):
                target = re.match(r"^([0-9a-f]+)\b", ops)
                if target:
                    todo.append(int(target.group(1), 16))
                if mnem == "jmp":
                    break
            addr = nxt
    return rets


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dll", required=True)
    ap.add_argument("--machine", required=True, choices=MACHINES)
    ap.add_argument("--def", dest="deffile", required=True)
    ap.add_argument("--header", required=True)
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--exe", action="append", default=[])
    args = ap.parse_args()

    image = PeImage(args.dll)
    if image.machine != MACHINES[args.machine]:
        fail("machine is %#x, not %s" % (image.machine, args.machine))
    if not image.characteristics & 0x2000:
        fail("the image is not marked as a DLL")

    exports = image.exports()
    expected = def_exports(args.deffile)
    if sorted(exports) != sorted(expected):
        fail("exports differ from the .def file: extra %s, missing %s"
             % (sorted(set(exports) - set(expected)), sorted(set(expected) - set(exports))))
    for name in exports:
        if not re.fullmatch(r"[A-Za-z][A-Za-z0-9]*", name):
            fail("decorated export name: " + name)
    declared = header_declarations(args.header)
    for name in expected:
        if name not in declared:
            fail(name + " is exported but not declared in " + args.header)

    for dll in image.imported_dlls():
        if dll.lower() not in SYSTEM_DLLS:
            fail("imports a DLL that is not part of Windows: " + dll)

    table = disassembly(args.objdump, args.dll)
    for name, rva in sorted(exports.items()):
        rets = returns_of(table, image.image_base + rva)
        if not rets:
            fail("%s: no return instruction found" % name)
        for addr, mnem, ops in rets:
            if ops:
                fail("%s returns with '%s %s' at %#x: not cdecl" % (name, mnem, ops, addr))

    for exe in args.exe:
        exe_image = PeImage(exe)
        if exe_image.machine != MACHINES[args.machine] or exe_image.characteristics & 0x2000:
            fail(exe + " is not a %s executable" % args.machine)

    print("%s: %d exports, %d imported DLLs, %s" % (
        args.dll, len(exports), len(image.imported_dlls()), "FAILED" if failures else "all checks passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
