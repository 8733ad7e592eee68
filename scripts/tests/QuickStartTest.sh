#!/usr/bin/env bash
# The quick start from a fresh clone in a temporary HOME, with the programs of the tree under
# test: it reaches "synced" with the sample files on the service's web page, stops cleanly on
# Ctrl-C, and a second run finds the account, the files and the folder as they were.
#   QuickStartTest.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$(cd "$2" && pwd)
cli=$build/bin/corvena-cli
work=$(mktemp -d /tmp/corvena-quickstart-XXXXXX)
run_pid=""
cleanup() {
    if [ -n "$run_pid" ]; then
        kill -KILL -- "-$run_pid" 2>/dev/null
        wait "$run_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    echo "--- scripts/run said:" >&2
    cat "$work/run.out" >&2 || true
    exit 1
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}

git clone -q "$src" "$work/clone" || cp -a "$src" "$work/clone"
export HOME=$work/home
mkdir -p "$HOME"
unset CORVENA_HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME DISPLAY WAYLAND_DISPLAY
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export CORVENA_BUILD_DIR=$build

# Job control puts the quick start in a process group of its own, as a terminal would, so
# that SIGINT to the group is Ctrl-C.
set -m
start_run() {
    "$work/clone/scripts/run" </dev/null >"$work/run.out" 2>&1 &
    run_pid=$!
    wait_for 60 grep -q "^The files on the service: " "$work/run.out" ||
        fail "no web page address within 60 s"
    link=$(sed -n 's/^The files on the service: //p' "$work/run.out")
    wait_for 60 "$cli" status >/dev/null 2>&1 || fail "no engine runs within 60 s"
    "$cli" sync --wait --timeout 120 >/dev/null || fail "sync --wait answered $?"
    grep -q "^state: synced" "$work/run.out" || fail "the front end never said 'synced'"
    # Once synced, a later comparison that finds nothing to do leaves the engine idle.
    state=$("$cli" status) || fail "status after the sync answered $?"
    case ${state%% *} in synced | idle) ;; *) fail "the state after the sync is '$state'" ;; esac
    page=$(curl -fsS "$link") || fail "the web page $link cannot be read"
    for name in Welcome.txt Documents/Notes.md Documents/说明.txt; do
        grep -qF "$name" <<<"$page" || fail "$name is not on the service's page: $page"
    done
}

stop_run() {
    kill -INT -- "-$run_pid"
    wait_for 60 eval '! kill -0 "$run_pid" 2>/dev/null' || fail "still running 60 s after Ctrl-C"
    local code=0
    wait "$run_pid" || code=$?
    run_pid=""
    [ "$code" = 0 ] || fail "scripts/run exited $code after Ctrl-C"
    grep -q "^Stopped\.$" "$work/run.out" || fail "no 'Stopped.' line"
    local status=0
    "$cli" status >/dev/null 2>&1 || status=$?
    [ "$status" = 3 ] || fail "status after Ctrl-C exits $status, not 3 (no engine)"
    ! curl -fsS -o /dev/null "$link" 2>/dev/null || fail "the service still answers after Ctrl-C"
}

start_run
grep -q "Put three sample files" "$work/run.out" || fail "no sample files for a new folder"
[ -f "$HOME/Corvena/Welcome.txt" ] || fail "no Welcome.txt in ~/Corvena"
[ -s "$HOME/.local/share/corvena-demo/password" ] || fail "no demo data in ~/.local/share"
stop_run

rm "$HOME/Corvena/Welcome.txt"
# A second run: the service's data and the folder are kept; nothing new is put in the
# folder, and the file deleted meanwhile is no longer listed once synced.
"$work/clone/scripts/run" </dev/null >"$work/run.out" 2>&1 &
run_pid=$!
wait_for 60 grep -q "^The files on the service: " "$work/run.out" || fail "second run: no address"
link=$(sed -n 's/^The files on the service: //p' "$work/run.out")
! grep -q "Put three sample files" "$work/run.out" || fail "sample files put into a kept folder"
wait_for 60 "$cli" status >/dev/null 2>&1 || fail "second run: no engine within 60 s"
"$cli" sync --wait --timeout 120 >/dev/null || fail "second run: sync --wait answered $?"
page=$(curl -fsS "$link") || fail "second run: the web page cannot be read"
grep -qF "Documents/Notes.md" <<<"$page" || fail "second run: Notes.md is gone from the service"
! grep -qF "Welcome.txt" <<<"$page" || fail "second run: the deleted Welcome.txt is still listed"
stop_run
echo "quick start: passed"
