#!/usr/bin/env python3
"""Builds the distributable zip with cpack and checks it as a host would receive it: the files it
must hold, each named in the package list of the guide for installer authors (README-hosts.txt, with
its version filled in and CR LF line ends for Notepad), and the packaged 32-bit DLL passing every
static check (check_dll.py) and, with qxcall.exe, the platform floor (import_floor.py)."""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import zipfile

EXPECTED = {"QXINST.dll", "qxcall.exe", "libQXINST.dll.a", "QXINST.def", "qxinst.h", "qxinst.nsh", "sample.nsi",
            "qxinst.iss", "sample.iss", "README-hosts.txt", "LICENSE"}
GUIDE = "README-hosts.txt"


def guide_findings(guide):
    """What is wrong with the packaged guide: line ends, an unfilled name, its package list."""
    findings = []
    if guide.count(b"\n") != guide.count(b"\r\n") or b"\r\n" not in guide:
        findings.append("its lines do not all end with CR LF")
    text = guide.decode("utf-8").replace("\r\n", "\n")
    if "@" in text.split("\n", 1)[0]:
        findings.append("its title holds an unfilled name: " + text.split("\n", 1)[0])
    listed = text.split("\nWhat is in this package\n", 1)[-1].split("\n\n\n", 1)[0]
    named = set(re.findall(r"^    (\S+)  ", listed, re.M))
    if named != EXPECTED:
        findings.append("it lists %s, the package holds %s" % (sorted(named), sorted(EXPECTED)))
    return findings


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--cpack", required=True)
    ap.add_argument("--zip", required=True)
    ap.add_argument("--source", required=True)
    args = ap.parse_args()

    if os.path.exists(args.zip):
        os.remove(args.zip)
    subprocess.run([args.cpack, "--config", os.path.join(args.build, "CPackConfig.cmake")],
                   cwd=args.build, check=True, stdout=subprocess.DEVNULL)
    with zipfile.ZipFile(args.zip) as package:
        names = set(package.namelist())
        if names != EXPECTED:
            print("FAIL: the package holds %s; expected %s" % (sorted(names), sorted(EXPECTED)))
            return 1
        findings = guide_findings(package.read(GUIDE))
        for finding in findings:
            print("FAIL: the packaged %s: %s" % (GUIDE, finding))
        if findings:
            return 1
        with tempfile.TemporaryDirectory() as work:
            package.extractall(work)
            result = subprocess.run([sys.executable, os.path.join(args.source, "tests/static/check_dll.py"),
                                     "--dll", os.path.join(work, "QXINST.dll"), "--machine", "i386",
                                     "--def", os.path.join(work, "QXINST.def"),
                                     "--header", os.path.join(work, "qxinst.h"),
                                     "--objdump", "i686-w64-mingw32-objdump",
                                     "--exe", os.path.join(work, "qxcall.exe")])
            if result.returncode != 0:
                return 1
            result = subprocess.run([sys.executable, os.path.join(args.source, "tests/static/import_floor.py"),
                                     os.path.join(work, "QXINST.dll"), os.path.join(work, "qxcall.exe")])
            if result.returncode != 0:
                return 1
            with open(os.path.join(work, "QXINST.dll"), "rb") as dll:
                if b".debug_info" in dll.read():
                    print("FAIL: the packaged DLL still carries debugging information")
                    return 1
    print("%s: %d files, packaged DLL passes the static checks" % (args.zip, len(names)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
