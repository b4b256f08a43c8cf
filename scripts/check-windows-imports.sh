#!/usr/bin/env bash
# Fails unless every DLL the given Windows programs import is one of Windows
# itself: scripts/check-windows-imports.sh PROGRAM.exe...
# (statically linked programs import only these; a MinGW runtime DLL such as
# libstdc++-6.dll or libwinpthread-1.dll would not be on a user's machine).
set -euo pipefail
system='^(kernel32|msvcrt|advapi32|user32|gdi32|shell32|comctl32|comdlg32|ole32|oleaut32|shlwapi|uxtheme|ws2_32|bcrypt|version)\.dll$'
status=0
for program in "$@"; do
  case "$(od -An -tx1 -j"$(( $(od -An -tu4 -j60 -N4 "$program") + 4 ))" -N2 "$program" | tr -d ' \n')" in
    6486) objdump=x86_64-w64-mingw32-objdump ;;
    4c01) objdump=i686-w64-mingw32-objdump ;;
    *) echo "$program: not a Windows program" >&2; exit 1 ;;
  esac
  dlls="$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')"
  echo "$program imports: $(echo $dlls)"
  while read -r dll; do
    [ -z "$dll" ] && continue
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system"; then
      echo "$program: imports $dll, which is not part of Windows" >&2
      status=1
    fi
  done <<<"$dlls"
done
exit $status
