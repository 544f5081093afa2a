#!/usr/bin/env python3
"""Runs the NSIS header's test installer (header_test.nsi, built against the stand-in QXINST.dll of
fake_qxinst.cpp) silently under Wine and compares, byte for byte with header-expected/, what the
macros gave back (header-test.log) and what the stand-in DLL received (qxinst-calls.txt)."""
import argparse
import os
import shutil
import subprocess
import sys

from check_sample import compare_files, windows_path


def main():
    ap = argparse.ArgumentParser()
    for option in ("--installer", "--wine-run", "--work", "--expected"):
        ap.add_argument(option, required=True)
    args = ap.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    # A few seconds when sound; a buffer overrun in a macro may leave the installer hanging.
    try:
        run = subprocess.run([args.wine_run, windows_path(args.installer), "/S", "/D=" + windows_path(args.work)],
                             timeout=120)
        failures = ["the header test installer ended with exit code %d" % run.returncode] if run.returncode else []
    except subprocess.TimeoutExpired:
        failures = ["the header test installer still ran after 120 s"]
    if not failures:
        compare_files(["header-test.log", "qxinst-calls.txt"],
                      lambda name: open(os.path.join(args.expected, name), "rb").read(), args.work, failures)
    print("FAIL:\n" + "\n".join(failures) if failures else
          "qxinst.nsh: every macro passed and returned what the stand-in DLL expects and gave")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
