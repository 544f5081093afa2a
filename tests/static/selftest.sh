#!/usr/bin/env bash
# The static checkers must catch what they are there for: a DLL whose export is stdcall ('ret 8'), one
# with a decorated name, and one with an export missing from the .def file all fail the export check;
# a DLL importing a function newer than Windows NT 4.0, asking for a newer Windows in its header, or
# holding an instruction beyond the Pentium Pro, fails the floor check, and one that keeps to NT 4.0
# and the Pentium Pro passes it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$(dirname "$here")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc=i686-w64-mingw32-gcc
cat >"$work/good.c" <<'C'
__declspec(dllexport) int __cdecl Add(int a, int b) { return a + b; }
C
cat >"$work/bad.c" <<'C'
__declspec(dllexport) int __stdcall Add(int a, int b) { return a + b; }
C
printf 'LIBRARY t.dll\nEXPORTS\n    Add\n' >"$work/t.def"
printf 'LIBRARY t.dll\nEXPORTS\n    Add\n    Sub\n' >"$work/more.def"
printf '#define QXAPI\nint QXAPI Add(int a, int b);\nint QXAPI Sub(int a, int b);\n' >"$work/t.h"
$cc -O2 -shared -o "$work/good.dll" "$work/good.c" "$work/t.def"
$cc -O2 -shared -Wl,--enable-stdcall-fixup -o "$work/stdcall.dll" "$work/bad.c" "$work/t.def"
$cc -O2 -shared -o "$work/decorated.dll" "$work/bad.c"

check() {
    python3 "$repo/tests/static/check_dll.py" --dll "$1" --def "$2" --header "$work/t.h" --machine i386 \
        --objdump i686-w64-mingw32-objdump >"$work/out.txt" 2>&1
}
status=0
check "$work/good.dll" "$work/t.def" || { echo "a sound cdecl DLL was refused:"; cat "$work/out.txt"; status=1; }
check "$work/stdcall.dll" "$work/t.def" && { echo "a stdcall export was not caught"; status=1; }
grep -q "not cdecl" "$work/out.txt" || { echo "no cdecl finding for ret 8"; status=1; }
check "$work/decorated.dll" "$work/t.def" && { echo "a decorated export name was not caught"; status=1; }
check "$work/good.dll" "$work/more.def" && { echo "a missing export was not caught"; status=1; }
# The platform floor. GetTickCount64 is declared by the headers of this SDK; ReplaceFileA only for
# Windows 2000 and later, so both are declared here by hand as a program of that time would.
cat >"$work/tick.c" <<'C'
#include <windows.h>
__declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);
__declspec(dllimport) BOOL WINAPI ReplaceFileA(LPCSTR, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID);
__declspec(dllexport) int __cdecl Add(int a, int b) { return (int)GetTickCount64() + a + b; }
__declspec(dllexport) int __cdecl Swap(void) { return ReplaceFileA("a", "b", 0, 0, 0, 0); }
C
cat >"$work/nt4.c" <<'C'
#include <windows.h>
__declspec(dllexport) int __cdecl Add(int a, int b) { return (int)GetTickCount() + a + b; }
C
nt4="-Wl,--major-os-version,4,--minor-os-version,0,--major-subsystem-version,4,--minor-subsystem-version,0"
$cc -O2 -shared $nt4 -o "$work/tick.dll" "$work/tick.c"
$cc -O2 -shared $nt4 -o "$work/nt4.dll" "$work/nt4.c"
$cc -O2 -shared -Wl,--major-subsystem-version,6,--minor-subsystem-version,0 -o "$work/vista.dll" "$work/nt4.c"
floor() {
    python3 "$repo/tests/static/import_floor.py" --objdump i686-w64-mingw32-objdump "$1" >"$work/out.txt" 2>&1
}
floor "$work/nt4.dll" || { echo "a DLL within Windows NT 4.0 was refused:"; cat "$work/out.txt"; status=1; }
floor "$work/tick.dll" && { echo "imports newer than Windows NT 4.0 were not caught"; status=1; }
for name in GetTickCount64 ReplaceFileA; do
    grep -q "!$name " "$work/out.txt" || { echo "no floor finding for $name"; cat "$work/out.txt"; status=1; }
done
floor "$work/vista.dll" && { echo "a subsystem version of 6.0 was not caught"; status=1; }
grep -q "subsystem version" "$work/out.txt" || { echo "no finding for the subsystem version"; status=1; }
# The processor floor: one C file, plain, then with SSE2's cvttsd2si (memory into a general register,
# no xmm register in sight), SSE3's fisttp (an x87 store) and popcnt.
cat >"$work/cpu.c" <<'C'
__declspec(dllexport) int __cdecl Trunc(double d) { return (int)d; }
__declspec(dllexport) int __cdecl Bits(unsigned u) { return __builtin_popcount(u); }
C
for variant in ":" "-msse2 -mfpmath=sse:cvttsd2si" "-msse3:fisttp" "-mpopcnt:popcnt"; do
    insn=${variant##*:}
    $cc -O2 -shared -static-libgcc $nt4 ${variant%%:*} -o "$work/cpu.dll" "$work/cpu.c"
    if [ -z "$insn" ]; then
        floor "$work/cpu.dll" || { echo "a DLL for the Pentium Pro was refused:"; cat "$work/out.txt"; status=1; }
        continue
    fi
    floor "$work/cpu.dll" && { echo "$insn was not caught"; status=1; }
    grep -q "$insn.* beyond the Pentium Pro" "$work/out.txt" || { echo "no finding for $insn"; cat "$work/out.txt"; status=1; }
done

[ $status -eq 0 ] && echo "static checker self-test: all faults caught"
exit $status
