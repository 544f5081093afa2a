#!/usr/bin/env python3
"""The DLL: for the machine, exporting the .def file's names undecorated and declared in qxinst.h, importing
only system DLLs, each export ending in a plain 'ret' (cdecl); each --exe an executable for the machine."""
import re
import subprocess
import sys

from pe import PeImage, options, report

MACHINES = {"i386": 0x14C, "x86_64": 0x8664}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "netapi32.dll", "mpr.dll", "shell32.dll",
               "comctl32.dll", "ole32.dll", "gdi32.dll", "msvcrt.dll", "shlwapi.dll", "ws2_32.dll"}

def returns_of(objdump, path, starts):
    """For each start address, the return instructions reachable from it without following calls."""
    out = subprocess.run([objdump, "-d", "--no-show-raw-insn", "-M", "intel", path],
                         capture_output=True, text=True, check=True).stdout
    insns = [(int(m[1], 16), m[2], m[3].strip()) for m in re.finditer(r"(?m)^\s*([0-9a-f]+):\s+(\S+)[ \t]*(.*)$", out)]
    table = {addr: (mnem, ops, insns[i + 1][0] if i + 1 < len(insns) else None)
             for i, (addr, mnem, ops) in enumerate(insns)}
    result = {start: [] for start in starts}
    for start, rets in result.items():
        seen, todo = set(), [start]
        while todo:
            addr = todo.pop()
            while addr in table and addr not in seen:
                seen.add(addr)
                mnem, ops, addr = table[addr]
                rets += [(mnem, ops)] if mnem.startswith("ret") else []
                target = re.match(r"^([0-9a-f]+)\b", ops) if mnem.startswith("j") else None
                todo += [int(target[1], 16)] if target else []
                if mnem == "jmp" or mnem.startswith("ret"):
                    break
    return result

def main():
    args = options("--dll", "--machine", "--def", "--header", "--objdump", exe=[])
    machine, failures, image = MACHINES[args.machine], [], PeImage(args.dll)
    if image.machine != machine or not image.characteristics & 0x2000:
        failures.append("%#x image with characteristics %#x: not an %s DLL"
                        % (image.machine, image.characteristics, args.machine))
    exports = image.exports()
    listed = re.sub(r";[^\n]*", "", open(getattr(args, "def"), encoding="latin-1").read()).split("EXPORTS", 1)[1]
    expected = [line.split()[0] for line in listed.splitlines() if line.strip()]
    if sorted(exports) != sorted(expected):
        failures.append("exports differ from the .def file: extra %s, missing %s"
                        % (sorted(set(exports) - set(expected)), sorted(set(expected) - set(exports))))
    declared = set(re.findall(r"\bQXAPI\s+(\w+)\s*\(", open(args.header, encoding="latin-1").read()))
    failures += ["%s is exported but not declared in %s" % (n, args.header) for n in expected if n not in declared]
    dlls = sorted({dll for dll, _, _ in image.imports()})
    failures += ["imports a DLL that is not part of Windows: " + d for d in dlls if d.lower() not in SYSTEM_DLLS]
    rets = returns_of(args.objdump, args.dll, [image.image_base + rva for rva in exports.values()])
    for name, rva in sorted(exports.items()):
        found = rets[image.image_base + rva]
        failures += ["%s: no return instruction found" % name] if not found else []
        failures += ["%s returns with '%s %s': not cdecl" % (name, m, ops) for m, ops in found if ops]
    failures += [exe + " is not a %s executable" % args.machine for exe in args.exe
                 if PeImage(exe).machine != machine or PeImage(exe).characteristics & 0x2000]
    return report(failures, "%s: %d exports, %d imported DLLs, " % (args.dll, len(exports), len(dlls)),
                  "all checks passed")

sys.exit(main())
