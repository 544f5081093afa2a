#!/usr/bin/env python3
"""The platform floor of the 32-bit deliverable: Windows NT 4.0 SP6a, on a Pentium Pro.

The Windows loader refuses an image with even one import it cannot resolve, so every function an
image imports must exist on the oldest Windows it is to load on.

- Windows functions: the set NT 4.0 has is taken from the MinGW-w64 SDK headers themselves. A C file
  that takes the address of every imported function is compiled with _WIN32_WINNT=0x0400 and
  WINVER=0x0400, under which the headers hide what later versions brought; each function the
  compiler reports undeclared is beyond the floor. A short deny list covers functions that NT 4.0
  lacks but the headers declare whatever the version.
- msvcrt.dll: no secure (*_s) function and none of the deny list (later runtime helpers, the 64-bit
  time and stat functions).
- No import by ordinal (an ordinal names nothing that can be checked).
- The PE header asks for no Windows newer than 4.0 (operating system and subsystem versions).
- With --objdump, every instruction of its code runs on a Pentium Pro (cpu_floor.py). The image must
  keep its symbols, which tell the runtime's data and its CPUID-guarded helpers from the code.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cpu_floor  # noqa: E402
from check_dll import PeImage  # noqa: E402

FLOOR = (4, 0)

# Declared by the headers at any _WIN32_WINNT, yet missing from NT 4.0 SP6a (kernel32 4.0,
# comctl32 4.00, the msvcrt.dll of NT 4.0).
DENY = {
    # Windows 2000
    "ReplaceFileA", "ReplaceFileW", "GetFileSizeEx", "SetFilePointerEx", "GetLongPathNameA",
    "GetLongPathNameW", "CreateHardLinkA", "CreateHardLinkW", "MoveFileWithProgressA", "VerifyVersionInfoA",
    "QueueUserWorkItem", "GetComputerNameExA", "GetConsoleWindow", "InitCommonControlsEx",
    # Windows XP
    "AddVectoredExceptionHandler", "RemoveVectoredExceptionHandler", "AddVectoredContinueHandler",
    "RemoveVectoredContinueHandler", "GetModuleHandleExA", "GetModuleHandleExW", "GetNativeSystemInfo",
    "IsWow64Process", "EncodePointer", "DecodePointer", "SetDllDirectoryA", "HeapSetInformation",
    "RtlCaptureContext", "InterlockedPushEntrySList", "InterlockedPopEntrySList", "InitializeSListHead",
    "GetProcessId", "GetThreadId", "AttachConsole", "GetSystemTimes",
    # Windows Vista and later
    "GetTickCount64", "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
    "ReleaseSRWLockExclusive", "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive",
    "InitializeConditionVariable", "SleepConditionVariableCS", "SleepConditionVariableSRW",
    "WakeConditionVariable", "WakeAllConditionVariable", "InitOnceExecuteOnce", "InitOnceBeginInitialize",
    "InitOnceComplete", "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue", "GetSystemTimePreciseAsFileTime",
    "CreateSemaphoreExW", "CreateEventExW", "CreateMutexExW", "GetCurrentProcessorNumber",
    "InterlockedCompareExchange64", "GetFileInformationByHandleEx", "SetFileInformationByHandle",
    "CancelIoEx", "WaitOnAddress", "WakeByAddressSingle", "SetThreadStackGuarantee",
    # msvcrt.dll after NT 4.0
    "_aligned_malloc", "_aligned_free", "_aligned_realloc", "_set_invalid_parameter_handler",
    "___lc_codepage_func", "___mb_cur_max_func", "_get_errno", "_set_errno", "_fseeki64", "_ftelli64",
    "_time64", "_localtime64", "_gmtime64", "_mktime64", "_ctime64", "_ftime64", "_futime64", "_utime64",
    "_stat64", "_fstat64", "_wstat64", "_stat64i32", "_fstat64i32", "_findfirst64", "_findnext64",
    "_wfindfirst64", "_wfopen_s", "_wfopen",
}

HEADERS = """#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <winnetwk.h>
#include <lm.h>
#include <ntsecapi.h>
"""


def beyond_headers(functions, cc):
    """The functions the SDK headers do not declare at the floor's version."""
    if not functions:
        return set()
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "floor.c")
        with open(source, "w") as f:
            f.write(HEADERS)
            for i, name in enumerate(functions):
                f.write("void *const qx_floor_%d = (void *)&%s;\n" % (i, name))
        result = subprocess.run([cc, "-D_WIN32_WINNT=0x0400", "-DWINVER=0x0400", "-D_WIN32_IE=0x0300",
                                 "-Werror=implicit-function-declaration", "-fsyntax-only", source],
                                capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
    missing = set(re.findall(r"'(\w+)' undeclared", result.stderr))
    if result.returncode != 0 and not missing:
        raise RuntimeError("the floor's C file did not compile for another reason:\n" + result.stderr)
    return missing


def check(path, cc):
    """The findings for one image; empty when it keeps to the floor."""
    image = PeImage(path)
    findings = ["the PE header asks for Windows %d.%d (%s version)" % (version + (what,))
                for version, what in zip(image.versions, ("operating system", "subsystem")) if version > FLOOR]
    windows = []
    for dll, name, ordinal in image.imports():
        if name is None:
            findings.append("%s: import by ordinal %d" % (dll, ordinal))
        elif name in DENY:
            findings.append("%s!%s is not in Windows NT 4.0" % (dll, name))
        elif dll.lower() == "msvcrt.dll":
            if name.endswith("_s"):
                findings.append("%s!%s is a secure runtime function (not in NT 4.0's msvcrt)" % (dll, name))
        else:
            windows.append((dll, name))
    missing = beyond_headers(sorted({name for _, name in windows}), cc)
    for dll, name in windows:
        if name in missing:
            findings.append("%s!%s is not declared for Windows NT 4.0 by the SDK headers" % (dll, name))
    return findings, len(windows)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("images", nargs="+")
    ap.add_argument("--cc", default="i686-w64-mingw32-gcc")
    ap.add_argument("--objdump", help="also check each instruction against the Pentium Pro with it")
    args = ap.parse_args()
    status = 0
    for path in args.images:
        findings, count = check(path, args.cc)
        processor = ""
        if args.objdump:
            beyond, instructions = cpu_floor.check(path, args.objdump)
            findings += ["%s in %s is beyond the Pentium Pro" % (text, label) for label, text in beyond]
            processor = ", %d instructions" % instructions
        for finding in findings:
            print("FAIL: %s: %s" % (os.path.basename(path), finding))
        verdict = "all within Windows NT 4.0" + (" on a Pentium Pro" if args.objdump else "")
        print("%s: %d Windows imports%s, %s" % (path, count, processor, "FAILED" if findings else verdict))
        status |= 1 if findings else 0
    return status


if __name__ == "__main__":
    sys.exit(main())
