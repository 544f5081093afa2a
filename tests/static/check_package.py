#!/usr/bin/env python3
"""The zip as a host receives it: the guide's files (CR LF, version filled in), the DLL stripped and checked."""
import os
import re
import subprocess
import sys
import tempfile
import zipfile

from pe import options, report

EXPECTED = {"QXINST.dll", "qxcall.exe", "libQXINST.dll.a", "QXINST.def", "qxinst.h", "qxinst.nsh", "sample.nsi",
            "qxinst.iss", "sample.iss", "README-hosts.txt", "LICENSE"}

def findings(package, work, here):
    names = set(package.namelist())
    if names != EXPECTED:
        return ["the package holds %s; expected %s" % (sorted(names), sorted(EXPECTED))]
    guide = package.read("README-hosts.txt")
    text = guide.decode("utf-8").replace("\r\n", "\n")
    listed = text.split("\nWhat is in this package\n", 1)[-1].split("\n\n\n", 1)[0]
    named = set(re.findall(r"^    (\S+)  ", listed, re.M))
    found = ["the guide's lines do not all end with CR LF"] if guide.count(b"\n") != guide.count(b"\r\n") else []
    found += ["the guide's title holds an unfilled name"] if "@" in text.split("\n", 1)[0] else []
    found += ["the guide lists %s" % sorted(named)] if named != EXPECTED else []
    package.extractall(work)
    dll, exe = os.path.join(work, "QXINST.dll"), os.path.join(work, "qxcall.exe")
    if b".debug_info" in open(dll, "rb").read():
        found.append("the packaged DLL still carries debugging information")
    for command in (["check_dll.py", "--dll", dll, "--machine", "i386", "--def", os.path.join(work, "QXINST.def"),
                     "--header", os.path.join(work, "qxinst.h"), "--objdump", "i686-w64-mingw32-objdump", "--exe", exe],
                    ["import_floor.py", dll, exe]):
        if subprocess.run([sys.executable, os.path.join(here, command[0])] + command[1:]).returncode != 0:
            found.append("the packaged files fail " + command[0])
    return found

def main():
    args = options("--build", "--cpack", "--zip", "--source")
    if os.path.exists(args.zip):
        os.remove(args.zip)
    subprocess.run([args.cpack, "--config", os.path.join(args.build, "CPackConfig.cmake")],
                   cwd=args.build, check=True, stdout=subprocess.DEVNULL)
    with zipfile.ZipFile(args.zip) as package, tempfile.TemporaryDirectory() as work:
        found = findings(package, work, os.path.dirname(os.path.abspath(__file__)))
    return report(found, "%s: " % args.zip, "the files and the packaged DLL pass the checks")

sys.exit(main())
