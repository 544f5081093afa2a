#!/usr/bin/env python3
"""Runs the NSIS header's test installer (header_test.nsi, built against the stand-in QXINST.dll of
fake_qxinst.cpp) silently under Wine and compares, byte for byte with header-expected/, what the
macros gave back (header-test.log) and what the stand-in DLL received (qxinst-calls.txt)."""
import argparse
import os
import shutil
import subprocess
import sys

from check_sample import compare, windows_path

FILES = ["header-test.log", "qxinst-calls.txt"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--installer", required=True, help="the amd64-unicode header test installer")
    ap.add_argument("--wine-run", required=True)
    ap.add_argument("--work", required=True, help="a folder for the run (emptied first)")
    ap.add_argument("--expected", required=True)
    args = ap.parse_args()

    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    try:
        # A few seconds when sound; a buffer overrun in a macro may leave the installer hanging.
        run = subprocess.run([args.wine_run, windows_path(args.installer), "/S", "/D=" + windows_path(args.work)],
                             timeout=120)
    except subprocess.TimeoutExpired:
        print("FAIL: the header test installer still ran after 120 s")
        return 1
    if run.returncode != 0:
        print("FAIL: the header test installer ended with exit code %d" % run.returncode)
        return 1
    failures = []
    for name in FILES:
        path = os.path.join(args.work, name)
        if not os.path.exists(path):
            failures.append("%s was not written" % name)
            continue
        compare(name, open(os.path.join(args.expected, name), "rb").read(), open(path, "rb").read(), failures)
    if failures:
        print("FAIL:\n" + "\n".join(failures))
        return 1
    print("qxinst.nsh: every macro passed and returned what the stand-in DLL expects and gave")
    return 0


if __name__ == "__main__":
    sys.exit(main())
