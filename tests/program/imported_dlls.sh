#!/usr/bin/env bash
# Fails when the program imports a DLL that Windows might look for beside it,
# in whatever folder it was downloaded to. Allowed are KnownDLLs, which
# Windows always takes from its own folder, and comctl32, which the
# manifest's side-by-side assembly names. Every other system DLL is loaded
# at run time from the system folder.
#   imported_dlls.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1
program=$2
allowed=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll ws2_32.dll "
imports=$("$objdump" -p "$program" | sed -n 's/^\tDLL Name: //p' | tr '[:upper:]' '[:lower:]')
if [ -z "$imports" ]; then
    echo "no imports read from $program"
    exit 1
fi
status=0
for dll in $imports; do
    case "$allowed" in
        *" $dll "*) echo "imports $dll: allowed" ;;
        *) echo "imports $dll, which Windows may take from beside the program"; status=1 ;;
    esac
done
exit $status
