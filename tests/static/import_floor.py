#!/usr/bin/env python3
"""Windows NT 4.0 SP6a on a Pentium Pro: imports declared by the headers at _WIN32_WINNT=0x0400, off DENY,
no *_s msvcrt function or ordinal, no newer Windows in the PE header; --objdump: cpu_floor.py too."""
import os
import re
import subprocess
import sys
import tempfile

import cpu_floor
from pe import PeImage, options, report

# Declared by the headers at any _WIN32_WINNT, yet missing from NT 4.0 SP6a.
DENY = {
    # Windows 2000
    "ReplaceFileA", "ReplaceFileW", "GetFileSizeEx", "SetFilePointerEx", "GetLongPathNameA", "GetLongPathNameW",
    "CreateHardLinkA", "CreateHardLinkW", "MoveFileWithProgressA", "VerifyVersionInfoA", "QueueUserWorkItem",
    "GetComputerNameExA", "GetConsoleWindow", "InitCommonControlsEx",
    # Windows XP
    "AddVectoredExceptionHandler", "RemoveVectoredExceptionHandler", "AddVectoredContinueHandler",
    "RemoveVectoredContinueHandler", "GetModuleHandleExA", "GetModuleHandleExW", "GetNativeSystemInfo",
    "IsWow64Process", "EncodePointer", "DecodePointer", "SetDllDirectoryA", "HeapSetInformation", "RtlCaptureContext",
    "InterlockedPushEntrySList", "InterlockedPopEntrySList", "InitializeSListHead", "GetProcessId", "GetThreadId",
    "AttachConsole", "GetSystemTimes",
    # Windows Vista and later
    "GetTickCount64", "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
    "ReleaseSRWLockExclusive", "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive", "InitializeConditionVariable",
    "SleepConditionVariableCS", "SleepConditionVariableSRW", "WakeConditionVariable", "WakeAllConditionVariable",
    "InitOnceExecuteOnce", "InitOnceBeginInitialize", "InitOnceComplete", "FlsAlloc", "FlsFree", "FlsGetValue",
    "FlsSetValue", "GetSystemTimePreciseAsFileTime", "CreateSemaphoreExW", "CreateEventExW", "CreateMutexExW",
    "GetCurrentProcessorNumber", "InterlockedCompareExchange64", "GetFileInformationByHandleEx",
    "SetFileInformationByHandle", "CancelIoEx", "WaitOnAddress", "WakeByAddressSingle", "SetThreadStackGuarantee",
    # msvcrt.dll after NT 4.0
    "_aligned_malloc", "_aligned_free", "_aligned_realloc", "_set_invalid_parameter_handler", "___lc_codepage_func",
    "___mb_cur_max_func", "_get_errno", "_set_errno", "_fseeki64", "_ftelli64", "_time64", "_localtime64",
    "_gmtime64", "_mktime64", "_ctime64", "_ftime64", "_futime64", "_utime64", "_stat64", "_fstat64", "_wstat64",
    "_stat64i32", "_fstat64i32", "_findfirst64", "_findnext64", "_wfindfirst64", "_wfopen_s", "_wfopen",
}
HEADERS = "".join("#include <%s.h>\n" % h for h in "windows commctrl shlobj winnetwk lm ntsecapi".split())

def check(path, cc):
    """The findings for one image, and the number of its Windows imports."""
    image, windows = PeImage(path), []
    findings = ["the PE header asks for Windows %d.%d (%s version)" % (version + (what,))
                for version, what in zip(image.versions, ("operating system", "subsystem")) if version > (4, 0)]
    for dll, name, ordinal in image.imports():
        if name is None:
            findings.append("%s: import by ordinal %d" % (dll, ordinal))
        elif name in DENY:
            findings.append("%s!%s is not in Windows NT 4.0" % (dll, name))
        elif dll.lower() != "msvcrt.dll":
            windows.append((dll, name))
        elif name.endswith("_s"):
            findings.append("%s!%s is a secure runtime function (not in NT 4.0's msvcrt)" % (dll, name))
    with tempfile.TemporaryDirectory() as work:  # which of them the SDK headers do not declare at 4.0
        source = os.path.join(work, "floor.c")
        with open(source, "w") as f:
            f.write(HEADERS + "".join("void *const qx_floor_%d = (void *)&%s;\n" % (i, name)
                                      for i, name in enumerate(sorted({name for _, name in windows}))))
        result = subprocess.run([cc, "-D_WIN32_WINNT=0x0400", "-DWINVER=0x0400", "-D_WIN32_IE=0x0300",
                                 "-Werror=implicit-function-declaration", "-fsyntax-only", source],
                                capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
    missing = set(re.findall(r"'(\w+)' undeclared", result.stderr))
    if result.returncode != 0 and not missing:
        raise RuntimeError("the floor's C file did not compile for another reason:\n" + result.stderr)
    findings += ["%s!%s is not declared for Windows NT 4.0 by the SDK headers" % w for w in windows if w[1] in missing]
    return findings, len(windows)

def main():
    args = options("images", cc="i686-w64-mingw32-gcc", objdump=None)  # --objdump: the Pentium Pro too
    status = 0
    for path in args.images:
        findings, count = check(path, args.cc)
        beyond, instructions = cpu_floor.check(path, args.objdump) if args.objdump else ([], 0)
        findings += ["%s in %s is beyond the Pentium Pro" % (text, label) for label, text in beyond]
        status |= report(["%s: %s" % (os.path.basename(path), f) for f in findings],
                         "%s: %d Windows imports, %s" % (path, count, "%d instructions, " % instructions if args.objdump else ""),
                         "all within Windows NT 4.0" + (" on a Pentium Pro" if args.objdump else ""))
    return status

sys.exit(main())
