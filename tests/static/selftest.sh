#!/usr/bin/env bash
# The static checkers refuse one altered DLL per kind of fault (the rows below) and pass the sound one.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT && cd "$work"
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
for build in "good.dll good.c t.def" "stdcall.dll -Wl,--enable-stdcall-fixup stdcall.c t.def" \
    "new.dll new.c" "sse.dll -msse2 -mfpmath=sse -mpopcnt good.c t.def"; do
    $cc $nt4 -o $build
done
$cc -Wl,--major-subsystem-version,6,--minor-subsystem-version,0 -o vista.dll good.c t.def  # Vista's header
od=i686-w64-mingw32-objdump status=0
exports() { python3 "$repo/tests/static/check_dll.py" --dll "$1" --def "${2:-t.def}" --header t.h --machine i386 --objdump $od; }
floor() { python3 "$repo/tests/static/import_floor.py" --objdump $od "$1"; }
# Each row: the checker, its DLL (and .def), then the findings it must print, or "passes".
while IFS='|' read -r checker dll def findings; do
    fail() { echo "$checker $dll $def: $1:"; cat out.txt; status=1; }
    if $checker "$dll" $def >out.txt 2>&1; then [ "$findings" = passes ] || fail passed; continue; fi
    [ "$findings" != passes ] || fail "refused the sound DLL"
    for finding in $findings; do grep -q -- "$finding" out.txt || fail "no finding '$finding'"; done
done <<'ROWS'
exports|good.dll||passes
exports|stdcall.dll||not.cdecl
exports|good.dll|more.def|missing
floor|good.dll||passes
floor|new.dll||!ReplaceFileA.is.not.in !CreateSymbolicLinkA.is.not.declared
floor|vista.dll||subsystem
floor|sse.dll||cvttsd2si.*Pentium popcnt.*Pentium
ROWS
[ $status -eq 0 ] && echo "static checker self-test: all faults caught"
exit $status
