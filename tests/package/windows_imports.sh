#!/bin/sh
# A Windows program runs from its folder alone: the C++ runtime, libgcc,
# winpthread and the converter's libraries are linked in, so it imports only
# DLLs that every Windows has.
#
#   windows_imports.sh OBJDUMP PROGRAM...
set -eu
objdump=$1
shift
[ $# -gt 0 ] || { echo "windows imports: no program given" >&2; exit 1; }
failed=0
for program in "$@"; do
  imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [ -n "$imports" ] || { echo "windows imports: $objdump found no imports in $program" >&2; failed=1; continue; }
  foreign=$(printf '%s\n' "$imports" | grep -viE '^(kernel32|msvcrt|shlwapi|advapi32|user32|ws2_32)\.dll$' || true)
  if [ -n "$foreign" ]; then
    echo "windows imports: $(basename "$program") needs DLLs a Windows system lacks:" >&2
    printf '%s\n' "$foreign" | sed 's/^/  /' >&2
    failed=1
  else
    echo "windows imports: $(basename "$program"): $(printf '%s\n' "$imports" | paste -sd' ')"
  fi
done
exit $failed
