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
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "netapi32.dll", "mpr.dll", "shell32.dll",
               "comctl32.dll", "ole32.dll", "gdi32.dll", "msvcrt.dll", "shlwapi.dll", "ws2_32.dll"}


class PeImage:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0] if self.data[:2] == b"MZ" else 0
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(path + " is not a PE image")
        self.machine, nsections, _, _, _, opt_size, self.characteristics = self.read("<HHIIIHH", pe + 4)
        opt = pe + 24
        self.pe32plus = self.read("<H", opt)[0] == 0x20B
        self.image_base = self.read("<Q" if self.pe32plus else "<I", opt + (24 if self.pe32plus else 28))[0]
        # (operating system version, subsystem version) of the optional header
        os_major, os_minor, _, _, sub_major, sub_minor = self.read("<6H", opt + 40)
        self.versions = (os_major, os_minor), (sub_major, sub_minor)
        dirs = opt + (112 if self.pe32plus else 96)
        self.directories = [self.read("<II", dirs + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(nsections):
            _, vsize, va, rawsize, rawptr = self.read("<8sIIII", opt + opt_size + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def read(self, fmt, off):
        return struct.unpack_from(fmt, self.data, off)

    def offset(self, rva):
        for va, size, rawptr in self.sections:
            if va <= rva < va + size:
                return rawptr + (rva - va)
        raise ValueError("RVA %#x is in no section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def exports(self):
        """{name: RVA}"""
        if self.directories[0][0] == 0:
            return {}
        nnames, funcs, names, ordinals = self.read("<24xIIII", self.offset(self.directories[0][0]))
        result = {}
        for i in range(nnames):
            ordinal = self.read("<H", self.offset(ordinals) + 2 * i)[0]
            name = self.cstring(self.read("<I", self.offset(names) + 4 * i)[0])
            result[name] = self.read("<I", self.offset(funcs) + 4 * ordinal)[0]
        return result

    def imports(self):
        """[(dll, name or None, ordinal or None)] read from the import directory."""
        thunk, by_ordinal = ("<Q", 1 << 63) if self.pe32plus else ("<I", 1 << 31)
        result, off = [], self.offset(self.directories[1][0]) if self.directories[1][0] else None
        while off is not None and self.read("<IIIII", off)[3]:
            lookup, _, _, name_rva, first_thunk = self.read("<IIIII", off)
            dll, entry = self.cstring(name_rva), self.offset(lookup or first_thunk)
            while self.read(thunk, entry)[0]:
                value = self.read(thunk, entry)[0]
                result.append((dll, None, value & 0xFFFF) if value & by_ordinal else
                              (dll, self.cstring((value & 0x7FFFFFFF) + 2), None))
                entry += struct.calcsize(thunk)
            off += 20
        return result


def returns_of(objdump, path, starts):
    """For each start address, the return instructions reachable from it without following calls."""
    out = subprocess.run([objdump, "-d", "--no-show-raw-insn", "-M", "intel", path],
                         capture_output=True, text=True, check=True).stdout
    insns = [(int(m[1], 16), m[2], m[3].strip()) for m in re.finditer(r"(?m)^\s*([0-9a-f]+):\s+(\S+)[ \t]*(.*)$", out)]
    table = {addr: (mnem, ops, insns[i + 1][0] if i + 1 < len(insns) else None)
             for i, (addr, mnem, ops) in enumerate(insns)}
    result = {}
    for start in starts:
        seen, rets, todo = set(), [], [start]
        while todo:
            addr = todo.pop()
            while addr in table and addr not in seen:
                seen.add(addr)
                mnem, ops, addr = table[addr]
                if mnem.startswith("ret"):
                    rets.append((mnem, ops))
                    break
                target = re.match(r"^([0-9a-f]+)\b", ops) if mnem.startswith("j") else None
                todo += [int(target[1], 16)] if target else []
                if mnem == "jmp":
                    break
        result[start] = rets
    return result


def main():
    ap = argparse.ArgumentParser()
    for option in ("--dll", "--machine", "--def", "--header", "--objdump"):
        ap.add_argument(option, required=True)
    ap.add_argument("--exe", action="append", default=[])
    args = ap.parse_args()
    machine, failures = MACHINES[args.machine], []
    image = PeImage(args.dll)
    if image.machine != machine or not image.characteristics & 0x2000:
        failures.append("%#x image with characteristics %#x: not an %s DLL"
                        % (image.machine, image.characteristics, args.machine))
    exports = image.exports()
    listed = re.sub(r";[^\n]*", "", open(getattr(args, "def"), encoding="latin-1").read()).split("EXPORTS", 1)[1]
    expected = [line.split()[0] for line in listed.splitlines() if line.strip()]
    if sorted(exports) != sorted(expected):
        failures.append("exports differ from the .def file: extra %s, missing %s"
                        % (sorted(set(exports) - set(expected)), sorted(set(expected) - set(exports))))
    failures += ["decorated export name: " + n for n in exports if not re.fullmatch(r"[A-Za-z][A-Za-z0-9]*", n)]
    declared = set(re.findall(r"\bQXAPI\s+(\w+)\s*\(", open(args.header, encoding="latin-1").read()))
    failures += ["%s is exported but not declared in %s" % (n, args.header) for n in expected if n not in declared]
    dlls = sorted({dll for dll, _, _ in image.imports()})
    failures += ["imports a DLL that is not part of Windows: " + d for d in dlls if d.lower() not in SYSTEM_DLLS]
    rets = returns_of(args.objdump, args.dll, [image.image_base + rva for rva in exports.values()])
    for name, rva in sorted(exports.items()):
        found = rets[image.image_base + rva]
        failures += ["%s: no return instruction found" % name] if not found else []
        failures += ["%s returns with '%s %s': not cdecl" % (name, m, ops) for m, ops in found if ops]
    for exe in args.exe:
        exe_image = PeImage(exe)
        if exe_image.machine != machine or exe_image.characteristics & 0x2000:
            failures.append(exe + " is not a %s executable" % args.machine)
    print("".join("FAIL: %s\n" % f for f in failures) + "%s: %d exports, %d imported DLLs, %s"
          % (args.dll, len(exports), len(dlls), "FAILED" if failures else "all checks passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
