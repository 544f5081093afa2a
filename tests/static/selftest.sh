#!/usr/bin/env bash
# The static checker must catch what it is there for: a DLL whose export is stdcall ('ret 8'), one
# with a decorated name, and one with an export missing from the .def file all fail the check.
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
[ $status -eq 0 ] && echo "static checker self-test: all faults caught"
exit $status
