#!/usr/bin/env bash
# Runs a Windows test program in a throw-away copy of the test Wine prefix, so
# that what it installs and registers touches nothing else.
#   in_fresh_prefix.sh PROGRAM [ARGUMENTS...]
set -uo pipefail
: "${WINEPREFIX:?the test Wine prefix}"
prefix=$(mktemp -d "${TMPDIR:-/tmp}/qilark-prefix.XXXXXX")
cleanup() {
    # Ends every process of the copy, also after a time-out of the test.
    WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1
    rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
cp -a "$WINEPREFIX/." "$prefix/"
WINEPREFIX=$prefix wine "$@" &
wait $!
