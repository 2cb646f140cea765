#!/usr/bin/env bash
# Runs a Windows test program in a throw-away copy of the test Wine prefix, so
# that what it installs and registers touches nothing else.
# With QILARK_TEST_DPI set, the copy's display runs at that DPI (Wine's
# LogPixels), as a high-DPI screen would.
#   in_fresh_prefix.sh PROGRAM [ARGUMENTS...]
set -uo pipefail
: "${WINEPREFIX:?the test Wine prefix}"
# Listing the tests (as ctest discovers them) changes nothing: no copy needed.
case " $* " in
    *" --gtest_list_tests "*) exec wine "$@" ;;
esac
prefix=$(mktemp -d "${TMPDIR:-/tmp}/qilark-prefix.XXXXXX")
cleanup() {
    # Ends every process of the copy, also after a time-out of the test.
    WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1
    rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
cp -a "$WINEPREFIX/." "$prefix/"
if [ -n "${QILARK_TEST_DPI:-}" ]; then
    for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
        WINEPREFIX=$prefix wine reg add "$key" /v LogPixels /t REG_DWORD /d "$QILARK_TEST_DPI" /f </dev/null >/dev/null 2>&1
    done
fi
WINEPREFIX=$prefix wine "$@" &
wait $!
