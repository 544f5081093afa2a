#!/usr/bin/env python3
"""Runs an installer silently under Wine and compares what it left with --expected: with --runner a sample
through qxhostrun (@KEY@: from the log's first line), --boxes answering the DLL's boxes; else the header test."""
import argparse
import difflib
import os
import re
import shutil
import subprocess
import sys

EXPECTED_FILES = ["sample.log", "engine-decoded.txt", "engine-changed.txt", "Manager/qxmgr.ini", "REPL.BAT",
                  "settings.ini"]
HOST_LINE = re.compile(r"host: computer (?P<computer>[^,]*), language (?P<langid>0x[0-9A-F]{4}), "
                       r"product type (?P<producttype>[^\r]*)\r\n")
LANGUAGES = {1: (0x09, 13), 2: (0x07, 5), 3: (0x0A, 20), 4: (0x0C, 6)}  # GetSystemLanguage: (language, last sublang.)
ROLES = {"LANMANNT": 1, "SERVERNT": 2, "WINNT": 3}  # IsDomainController, by product type
SERVICE_LINES = ["QxSampleTavrin Created", "QxSampleTavrin started successfully.", "QxSampleTavrin Removed"]
# The share the sample looks up, made for the run, then removed.
SHARE_KEY = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\LanmanServer\Shares"
SHARE_VALUE = b"Path=C:\\Qorvex\\Scripts\0Type=0\0\0"

def set_share(wine_run, work, present):
    path, data = os.path.join(work, "share.reg"), "hex(7):" + ",".join("%02x" % c for c in SHARE_VALUE)
    with open(path, "w", newline="\r\n") as reg:
        reg.write("REGEDIT4\n\n[%s]\n\"QXSAMPLE\"=%s\n" % (SHARE_KEY, data if present else "-"))
    subprocess.run([wine_run, "regedit", "/S", windows_path(path)], check=True, stdout=subprocess.DEVNULL)

def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")

def compare(name, expected, actual):
    if actual is None or expected == actual:
        return ["%s was not written" % name] if actual is None else []
    diff = difflib.unified_diff(expected.decode("latin-1").splitlines(True),
                                actual.decode("latin-1").splitlines(True), "expected/" + name, name)
    return ["%s differs:\n%s" % (name, "".join(line.replace("\r", "\\r") for line in diff))]

def read(folder, name):
    return open(os.path.join(folder, name), "rb").read() if os.path.exists(os.path.join(folder, name)) else None

def header_test(args):
    try:  # an overrun in a macro may leave the installer hanging
        run = subprocess.run([args.wine_run, windows_path(args.installer), "/S", "/D=" + windows_path(args.work)],
                             timeout=120)
    except subprocess.TimeoutExpired:
        return ["the header test installer still ran after 120 s"], ""
    return (["the header test installer ended with exit code %d" % run.returncode] if run.returncode else [
        f for name in ("header-test.log", "qxinst-calls.txt")
        for f in compare(name, read(args.expected, name), read(args.work, name))],
        "qxinst.nsh: every macro passed and returned what the stand-in DLL expects and gave")

def sample_test(args, install, boxes):
    set_share(args.wine_run, args.work, True)
    try:
        keep = ["/BOXES"] if args.boxes else []
        switches = ["/S"] + keep + ["/D=" + windows_path(install)] if args.host == "nsis" else [
            "/VERYSILENT", "/SUPPRESSMSGBOXES"] + keep + ["/DIR=" + windows_path(install),
                                                           "/LOG=" + windows_path(os.path.join(args.work, "setup.log"))]
        runner = [args.runner, "--timeout", str(args.timeout)] + ([] if args.boxes else ["--leave-boxes"])
        run = subprocess.run([args.wine_run] + runner + [windows_path(boxes), windows_path(args.installer)] + switches,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=args.timeout + 120)
    except subprocess.TimeoutExpired:
        return ["qxhostrun did not end the installer within its timeout"], ""
    finally:
        set_share(args.wine_run, args.work, False)
    output = run.stdout.decode("latin-1")
    sys.stdout.write(output)
    if run.returncode != 0:
        shown = (read(args.work, "boxes.txt") or b"").decode("latin-1")
        return ["the installer ended with exit code %d%s" % (run.returncode, ", after the boxes:\n" + shown
                                                              if shown else "")], ""
    log = read(install, "sample.log") or b""
    host = HOST_LINE.match(log.decode("latin-1"))
    if host is None or not host["computer"]:
        return ["the log does not begin with what the installer saw of the machine:\n%s" % log[:200]], ""
    langid, product = int(host["langid"], 16), host["producttype"]
    values = dict(host.groupdict(), role=str(2 if product[:8] == "ServerNT" else ROLES.get(product.upper(), 0)),
                  language=str(next((code for code, (language, last) in LANGUAGES.items()
                                     if langid & 0x3FF == language and 1 <= langid >> 10 <= last), 0)))

    def expected(name):
        data = read(args.expected, name)
        for key, value in values.items():
            data = data.replace(("@%s@" % key.upper()).encode(), value.encode("latin-1"))
        return data

    failures = [f for name in EXPECTED_FILES for f in compare(name, expected(name), read(install, name))]
    failures += compare("boxes.txt", expected("boxes.txt") if args.boxes else b"", read(args.work, "boxes.txt"))
    # Inno Setup runs the script in a second process, whose output is not the installer's.
    failures += ["the service exports did not write %r to the installer's output" % line
                 for line in (SERVICE_LINES if args.host == "nsis" else []) if line not in output.splitlines()]
    return failures, "%s sample: %d log lines, %d files and %s as expected under Wine" % (
        args.host, log.count(b"\n"), len(EXPECTED_FILES) - 1, "the message boxes" if args.boxes else "no message box")

def main():
    ap = argparse.ArgumentParser()
    for option in ("--installer", "--wine-run", "--work", "--expected"):
        ap.add_argument(option, required=True)
    for option, kind in (("--runner", {}), ("--host", {"choices": ["nsis", "inno"], "default": "nsis"}),
                         ("--timeout", {"type": int, "default": 300}), ("--boxes", {"action": "store_true"})):
        ap.add_argument(option, **kind)
    args = ap.parse_args()
    install = os.path.join(args.work, "install")
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(install)
    failures, summary = sample_test(args, install, os.path.join(args.work, "boxes.txt")) if args.runner else header_test(args)
    print("FAIL:\n" + "\n".join(failures) if failures else summary)
    return 1 if failures else 0

sys.exit(main())
