#!/usr/bin/env python3
"""Runs a sample installer silently under Wine, through qxhostrun, and checks what it left: its log,
the message boxes, and every file the DLL wrote, byte for byte against sample-expected/. The
installer is an NSIS one (hosts/nsis/sample.nsi, /S) or an Inno Setup one (hosts/inno/sample.iss,
/VERYSILENT /SUPPRESSMSGBOXES): both make the same calls and write the same log. The engine file is
also decoded here, from its documented layout, and must hold the changed script. With --boxes the
sample keeps the DLL's message boxes (/BOXES), qxhostrun answers them, and they must be those of
boxes.txt; without, it leaves them out (SetUnattended), nobody answers a box (--leave-boxes), and it
must end on its own with the same log and files. Expected files may hold @COMPUTER@, @LANGID@ and
@PRODUCTTYPE@ (what the installer read from Windows: its log's first line), @LANGUAGE@ and @ROLE@
(the answers the DLL must give for them)."""
import argparse
import difflib
import os
import re
import shutil
import subprocess
import sys
import time

EXPECTED_FILES = ["sample.log", "engine-decoded.txt", "engine-changed.txt", "Manager/qxmgr.ini", "REPL.BAT",
                  "settings.ini"]
HOST_LINE = re.compile(r"host: computer (?P<computer>[^,]*), language (?P<langid>0x[0-9A-F]{4}), "
                       r"product type (?P<producttype>[^\r]*)\r\n")
# GetSystemLanguage: the language identifiers of each code, as (primary language, last sublanguage).
LANGUAGES = {1: (0x09, 13), 2: (0x07, 5), 3: (0x0A, 20), 4: (0x0C, 6)}
# The diagnostic lines the service exports write to the installer's standard output.
SERVICE_LINES = ["QxSampleTavrin Created", "QxSampleTavrin started successfully.", "QxSampleTavrin Removed"]


# The share the sample looks up: a share's definition as the server service keeps it in the
# registry, made in the prefix for the run and removed after it.
SHARE_KEY = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\LanmanServer\Shares"
SHARE_VALUE = b"Path=C:\\Qorvex\\Scripts\0Type=0\0\0"


def set_share(wine_run, work, present):
    data = ",".join("%02x" % c for c in SHARE_VALUE) if present else None
    path = os.path.join(work, "share.reg")
    with open(path, "w", newline="\r\n") as reg:
        reg.write("REGEDIT4\n\n[%s]\n\"QXSAMPLE\"=%s\n" % (SHARE_KEY, "hex(7):" + data if data else "-"))
    subprocess.run([wine_run, "regedit", "/S", windows_path(path)], check=True, stdout=subprocess.DEVNULL)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def language_code(langid):
    return next((code for code, (language, last) in LANGUAGES.items()
                 if langid & 0x3FF == language and 1 <= langid >> 10 <= last), 0)


def role_code(product_type):
    roles = {"LANMANNT": 1, "SERVERNT": 2, "WINNT": 3}
    return 2 if product_type[:8] == "ServerNT" else roles.get(product_type.upper(), 0)


def decode_engine(data):
    """The plain text of an engine file and its version, or raises ValueError."""
    key = b"RODEDURUV\0"
    if len(data) < 5 or data[0] != 66:
        raise ValueError("no engine: %r" % data[:4])
    version, filler = data[1] | data[2] << 8, data[3]
    if len(data) < 5 + filler:
        raise ValueError("truncated engine")
    text, k, r = bytearray(), 0, 15
    for i, c in enumerate(data[4 + filler:-1]):
        text.append((c - key[k] - r) & 0xFF)
        k = (k + 1) % 10
        r = (r + k + i) & 0xFF
    if sum(text) & 0xFF != data[-1]:
        raise ValueError("checksum mismatch")
    return bytes(text), version


def compare(name, expected, actual, failures):
    if expected != actual:
        diff = difflib.unified_diff(expected.decode("latin-1").splitlines(True),
                                    actual.decode("latin-1").splitlines(True), "expected/" + name, name)
        failures.append("%s differs:\n%s" % (name, "".join(line.replace("\r", "\\r") for line in diff)))


def compare_files(names, expected, folder, failures):
    """Each file of folder byte for byte against expected(name)."""
    for name in names:
        path = os.path.join(folder, name)
        if os.path.exists(path):
            compare(name, expected(name), open(path, "rb").read(), failures)
        else:
            failures.append("%s was not written" % name)


def main():
    ap = argparse.ArgumentParser()
    for option in ("--installer", "--runner", "--wine-run", "--work", "--expected"):  # --work: emptied first
        ap.add_argument(option, required=True)
    ap.add_argument("--host", choices=["nsis", "inno"], default="nsis", help="what built the installer")
    ap.add_argument("--timeout", type=int, default=300)
    ap.add_argument("--boxes", action="store_true", help="keep the DLL's message boxes (/BOXES) and answer them")
    args = ap.parse_args()
    install, boxes = os.path.join(args.work, "install"), os.path.join(args.work, "boxes.txt")
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(install)
    set_share(args.wine_run, args.work, True)
    try:
        started = time.monotonic()
        keep = ["/BOXES"] if args.boxes else []
        switches = ["/S"] + keep + ["/D=" + windows_path(install)] if args.host == "nsis" else [
            "/VERYSILENT", "/SUPPRESSMSGBOXES"] + keep + ["/DIR=" + windows_path(install),
                                                           "/LOG=" + windows_path(os.path.join(args.work, "setup.log"))]
        runner = [args.runner, "--timeout", str(args.timeout)] + ([] if args.boxes else ["--leave-boxes"])
        run = subprocess.run([args.wine_run] + runner + [windows_path(boxes), windows_path(args.installer)] + switches,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=args.timeout + 120)
        seconds = time.monotonic() - started
    except subprocess.TimeoutExpired:
        print("FAIL: qxhostrun did not end the installer within its timeout")
        return 1
    finally:
        set_share(args.wine_run, args.work, False)
    output = run.stdout.decode("latin-1")
    sys.stdout.write(output)
    if run.returncode != 0:
        shown = open(boxes, "rb").read().decode("latin-1") if os.path.exists(boxes) else ""
        print("FAIL: the installer ended with exit code %d%s"
              % (run.returncode, ", after the boxes:\n" + shown if shown else ""))
        return 1

    log = open(os.path.join(install, "sample.log"), "rb").read()
    host = HOST_LINE.match(log.decode("latin-1"))
    if host is None or not host["computer"]:
        print("FAIL: the log does not begin with what the installer saw of the machine:\n%s" % log[:200])
        return 1
    values = dict(host.groupdict(), language=str(language_code(int(host["langid"], 16))),
                  role=str(role_code(host["producttype"])))

    def expected(name):
        data = open(os.path.join(args.expected, name), "rb").read()
        for key, value in values.items():
            data = data.replace(("@%s@" % key.upper()).encode(), value.encode("latin-1"))
        return data

    failures = []
    compare_files(EXPECTED_FILES, expected, install, failures)
    compare("boxes.txt", expected("boxes.txt") if args.boxes else b"", open(boxes, "rb").read(), failures)
    # Decrypt of a file that is no engine leaves its destination as it was: here, not there.
    if os.path.exists(os.path.join(install, "not-an-engine.txt")):
        failures.append("not-an-engine.txt was created by a Decrypt that failed")
    try:
        text, version = decode_engine(open(os.path.join(install, "engine.kix"), "rb").read())
        if version != 41:
            failures.append("engine.kix has version %d, not 41" % version)
        compare("engine.kix (decoded here)", expected("engine-changed.txt"), text, failures)
    except (OSError, ValueError) as error:
        failures.append("engine.kix: %s" % error)
    # An NSIS installer is one process, whose output qxhostrun passes on; Inno Setup runs the script
    # in a second process of its own, whose output is not the installer's.
    failures += ["the service exports did not write %r to the installer's output" % line
                 for line in (SERVICE_LINES if args.host == "nsis" else []) if line not in output.splitlines()]
    print("FAIL:\n" + "\n".join(failures) if failures else "%s sample: %d log lines, %d files and %s as expected, "
          "in %.1f s under Wine" % (args.host, log.count(b"\n"), len(EXPECTED_FILES) - 1,
                                    "the message boxes" if args.boxes else "no message box", seconds))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
