"""What the static checks share: the reading of a PE image (headers, exports, imports, resources),
the command line and the report (a FAIL line per finding, then one summary line)."""
import argparse
import itertools
import struct

class PeImage:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        pe = self.read("<I", 0x3C)[0] if self.data[:2] == b"MZ" else 0
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(path + " is not a PE image")
        self.machine, nsections, _, _, _, opt_size, self.characteristics = self.read("<HHIIIHH", pe + 4)
        opt = pe + 24
        self.pe32plus = self.read("<H", opt)[0] == 0x20B
        self.image_base = self.read("<Q" if self.pe32plus else "<I", opt + (24 if self.pe32plus else 28))[0]
        v = self.read("<6H", opt + 40)  # the operating system's and the subsystem's version
        self.versions = (v[0], v[1]), (v[4], v[5])
        dirs = opt + (112 if self.pe32plus else 96)
        self.directories = [self.read("<II", dirs + 8 * i) for i in range(16)]
        self.sections = [self.read("<8xIIII", opt + opt_size + 40 * i) for i in range(nsections)]

    def read(self, fmt, off):
        return struct.unpack_from(fmt, self.data, off)

    def offset(self, rva):
        for vsize, va, rawsize, rawptr in self.sections:
            if va <= rva < va + max(vsize, rawsize):
                return rawptr + (rva - va)
        raise ValueError("RVA %#x is in no section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def exports(self):
        """{name: RVA}"""
        nnames, funcs, names, ordinals = self.read("<24xIIII", self.offset(self.directories[0][0]))
        return {self.cstring(self.read("<I", self.offset(names) + 4 * i)[0]):
                self.read("<I", self.offset(funcs) + 4 * self.read("<H", self.offset(ordinals) + 2 * i)[0])[0]
                for i in range(nnames)}

    def imports(self):
        """[(dll, name or None, ordinal or None)] read from the import directory."""
        thunk, size, by_ordinal = ("<Q", 8, 1 << 63) if self.pe32plus else ("<I", 4, 1 << 31)
        result, off = [], self.offset(self.directories[1][0]) if self.directories[1][0] else None
        while off is not None and self.read("<IIIII", off)[3]:
            lookup, _, _, name_rva, first_thunk = self.read("<IIIII", off)
            dll, entry, off = self.cstring(name_rva), self.offset(lookup or first_thunk), off + 20
            values = itertools.takewhile(bool, (self.read(thunk, entry + size * i)[0] for i in itertools.count()))
            result += [(dll, None, v & 0xFFFF) if v & by_ordinal else (dll, self.cstring((v & 0x7FFFFFFF) + 2), None)
                       for v in values]
        return result

    def resources(self, rtype):
        """[(number, language, bytes)] of every resource of the type, one per number and language."""
        root = self.offset(self.directories[2][0])

        def entries(off):
            named, ids = self.read("<12xHH", off)
            return [self.read("<II", off + 16 + 8 * i) for i in range(named + ids)]
        return [(number, language, self.data[self.offset(rva):self.offset(rva) + size])
                for kind, types in entries(root) if kind == rtype
                for number, names in entries(root + (types & 0x7FFFFFFF))
                for language, leaf in entries(root + (names & 0x7FFFFFFF))
                for rva, size in [self.read("<II", root + leaf)]]

def options(*names, **defaults):
    """Each --name of names required, a bare name the positional arguments; defaults: further options."""
    ap = argparse.ArgumentParser()
    for name in names:
        ap.add_argument(name, **({"required": True} if name.startswith("--") else {"nargs": "+"}))
    for name, default in defaults.items():
        ap.add_argument("--" + name.replace("_", "-"), default=default,
                        action="append" if isinstance(default, list) else "store")
    return ap.parse_args()

def report(failures, summary, verdict):
    """Prints each failure, then the summary ending in FAILED or the verdict; the exit status."""
    print("".join("FAIL: %s\n" % f for f in failures) + summary + ("FAILED" if failures else verdict))
    return 1 if failures else 0
