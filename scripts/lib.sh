# Shared by the scripts: paths, the private Wine prefix and the virtual display.
# Sourced, not run.

QILARK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QILARK_BUILD=$QILARK_ROOT/build

# Compiler results are shared between clones in other folders (as CI's is).
export CCACHE_BASEDIR=$QILARK_ROOT
export CCACHE_NOHASHDIR=true

# Wine runs in a prefix of its own inside the build folder, never ~/.wine.
qilark_wine_env() {
    export WINEPREFIX=$QILARK_BUILD/wineprefix
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No prompts to install Mono or Gecko.
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Starts one Xvfb for this script and points DISPLAY at it; it ends with the script.
# Xvfb takes a free display number itself and writes it once it listens, so
# runs started at once never race for a number.
qilark_start_xvfb() {
    local written said
    written=$(mktemp)
    said=$(mktemp)
    Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$written" </dev/null >/dev/null 2>"$said" &
    QILARK_XVFB_PID=$!
    for _ in $(seq 100); do
        grep -q '^[0-9]\+$' "$written" && break
        kill -0 "$QILARK_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    local number
    number=$(grep -x '[0-9]\+' "$written" || true)
    if [ -z "$number" ]; then
        echo "Xvfb did not come up; it said:" >&2
        cat "$said" >&2
        qilark_stop_xvfb
    fi
    rm -f "$written" "$said"
    [ -n "$number" ] || return 1
    export DISPLAY=":$number"
}

# The wineserver and Wine's background services start detached from our output:
# they would otherwise inherit the pipes of the first program and keep ctest
# waiting for ever. A server that already runs is fine, also under set -e.
qilark_warm_wine() {
    (wineserver -p || true; wine cmd /c exit) </dev/null >/dev/null 2>&1
}

# Under set -e too: a server that has already ended is no failure.
qilark_stop_wine() {
    if [ -n "${WINEPREFIX:-}" ]; then wineserver -k </dev/null >/dev/null 2>&1 || true; fi
}

qilark_stop_xvfb() {
    if [ -n "${QILARK_XVFB_PID:-}" ]; then
        kill "$QILARK_XVFB_PID" 2>/dev/null
        wait "$QILARK_XVFB_PID" 2>/dev/null
        QILARK_XVFB_PID=
    fi
    return 0
}

# Configures a preset when its build folder is new or the presets (or the
# cross toolchain) changed since, from scratch so that a removed setting goes
# too; then builds it (optionally only some targets).
qilark_build() {
    local preset=$1
    shift
    local folder=$QILARK_BUILD/$preset
    local stamp=$folder/presets.stamp
    if [ ! -f "$folder/build.ninja" ] || [ ! -f "$stamp" ] ||
        [ "$QILARK_ROOT/CMakePresets.json" -nt "$stamp" ] || [ "$QILARK_ROOT/cmake/mingw-w64.cmake" -nt "$stamp" ]; then
        mkdir -p "$folder"
        # Stamped first: a change made while configuring is newer.
        touch "$stamp"
        cmake --preset "$preset" --fresh -S "$QILARK_ROOT" >/dev/null || { rm -f "$stamp"; return 1; }
    fi
    if [ $# -gt 0 ]; then
        cmake --build "$folder" --target "$@"
    else
        cmake --build "$folder"
    fi
}

# qilark_build for scripts that print results of their own: quiet when the
# build succeeds; when it fails, what the compiler and linker said goes to
# standard error, without ninja's progress lines.
qilark_build_quietly() {
    local output
    output=$(qilark_build "$@" 2>&1) && return 0
    grep -v -E '^\[[0-9]+/[0-9]+\] ' <<<"$output" >&2
    return 1
}
