#!/usr/bin/env bash
# The static checkers must catch what they are there for, one altered DLL per kind of fault: a
# stdcall export ('ret 8'), a decorated name and an export missing from the .def file fail the export
# check; imports newer than Windows NT 4.0 (one the headers hide at 4.0, one on the deny list), a
# header asking for Windows 6.0 and instructions beyond the Pentium Pro fail the floor check; the
# same sources built soundly pass both.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cc="i686-w64-mingw32-gcc -O2 -shared -static-libgcc"
nt4="-Wl,--major-os-version,4,--minor-os-version,0,--major-subsystem-version,4,--minor-subsystem-version,0"
cat >good.c <<'C'
__declspec(dllexport) int __cdecl Add(int a, int b) { return a + b; }
__declspec(dllexport) int __cdecl Trunc(double d) { return (int)d; }
__declspec(dllexport) int __cdecl Bits(unsigned u) { return __builtin_popcount(u); }
C
sed 's/__cdecl Add/__stdcall Add/' good.c >stdcall.c
cat >new.c <<'C'
#include <windows.h>
__declspec(dllimport) BOOLEAN WINAPI CreateSymbolicLinkA(LPCSTR, LPCSTR, DWORD);
__declspec(dllexport) int __cdecl Add(int a, int b) { return CreateSymbolicLinkA("a", "b", 0) + ReplaceFileA("a", "b", 0, 0, 0, 0); }
C
printf 'LIBRARY t.dll\nEXPORTS\n    Add\n    Trunc\n    Bits\n' >t.def
sed 's/Bits/Bits\n    Sub/' t.def >more.def
printf '#define QXAPI\nint QXAPI Add(int, int);\nint QXAPI Trunc(double);\nint QXAPI Bits(unsigned);\nint QXAPI Sub(int);\n' >t.h
$cc $nt4 -o good.dll good.c t.def
$cc $nt4 -Wl,--enable-stdcall-fixup -o stdcall.dll stdcall.c t.def
$cc $nt4 -o decorated.dll stdcall.c
$cc $nt4 -o new.dll new.c
$cc -Wl,--major-subsystem-version,6,--minor-subsystem-version,0 -o vista.dll good.c t.def
$cc $nt4 -msse2 -mfpmath=sse -mpopcnt -o sse.dll good.c t.def

exports() {
    python3 "$repo/tests/static/check_dll.py" --dll "$1" --def "${2:-t.def}" --header t.h --machine i386 \
        --objdump i686-w64-mingw32-objdump
}
floor() { python3 "$repo/tests/static/import_floor.py" --objdump i686-w64-mingw32-objdump "$1"; }
# Each row: the checker, its DLL (and .def), then the findings it must print, or "passes".
status=0
while IFS='|' read -r checker dll def findings; do
    if $checker "$dll" $def >out.txt 2>&1; then
        [ "$findings" = passes ] || { echo "$checker passed $dll:"; cat out.txt; status=1; }
        continue
    fi
    [ "$findings" != passes ] || { echo "$checker refused the sound $dll:"; cat out.txt; status=1; }
    for finding in $findings; do
        grep -q -- "$finding" out.txt || { echo "$checker $dll: no finding '$finding':"; cat out.txt; status=1; }
    done
done <<'ROWS'
exports|good.dll||passes
exports|stdcall.dll||not.cdecl
exports|decorated.dll||decorated
exports|good.dll|more.def|missing
floor|good.dll||passes
floor|new.dll||!ReplaceFileA.is.not.in !CreateSymbolicLinkA.is.not.declared
floor|vista.dll||subsystem
floor|sse.dll||cvttsd2si.*Pentium popcnt.*Pentium
ROWS
[ $status -eq 0 ] && echo "static checker self-test: all faults caught"
exit $status
