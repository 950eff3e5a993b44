#!/usr/bin/env bash
# Checks the export and import tables of the Windows build of TAVO_HID_static.dll:
# exactly the two exports, SDL_PushEvent as the only import from SDL2.dll, the four hook calls
# from user32, GetModuleHandleW and GetLastError from kernel32, and no DLL that Windows
# does not ship (the C++ runtime must be linked in).
# usage: check_dll_tables.sh OBJDUMP DLL
set -euo pipefail
objdump=$1
dll=$2

fail=0
check() { # name expected actual
    if [ "$2" = "$3" ]; then
        echo "ok - $1"
    else
        echo "not ok - $1"
        echo "    expected: $2"
        echo "    got:      $3"
        fail=1
    fi
}

dump=$("$objdump" -p "$dll")

check "file format" "pei-x86-64" "$("$objdump" -f "$dll" | sed -n 's/.*file format //p')"

exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF == 0 {on=0} on {print $NF}' <<<"$dump" |
    sort | paste -sd' ' -)
check "exports" "TAVO_Start_Keyboard TAVO_Stop_Keyboard" "$exports"

# "DLL Name: X" opens each import block; its function names follow until the block's blank line.
imports_of() {
    awk -v want="$1" '
        /DLL Name:/ { on = (tolower($3) == tolower(want)); next }
        on && NF == 0 { on = 0 }
        on && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print $3 }' <<<"$dump" | sort | paste -sd' ' -
}
check "imports from SDL2.dll" "SDL_PushEvent" "$(imports_of SDL2.dll)"
check "imports from USER32.dll" "CallNextHookEx GetKeyState SetWindowsHookExW UnhookWindowsHookEx" \
    "$(imports_of USER32.dll)"
kernel32=" $(imports_of KERNEL32.dll) "
for f in GetModuleHandleW GetLastError; do
    check "KERNEL32.dll provides $f" "yes" "$([[ $kernel32 == *" $f "* ]] && echo yes || echo no)"
done

dlls=$(sed -n 's/.*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u | paste -sd' ' -)
check "imported DLLs" "kernel32.dll msvcrt.dll sdl2.dll user32.dll" "$dlls"

exit $fail
