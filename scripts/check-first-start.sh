#!/usr/bin/env bash
# Does what a new user does: a fresh clone, then ./run.sh from an empty folder (offscreen here). The program must
# still be running after a few seconds and, ended with SIGTERM, leave a complete vantrel.cfg. A second ./run.sh
# must build nothing and start again.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git clone -q "$repo" "$work/vantrel"
mkdir "$work/folder"

fail() { echo "check-first-start: $*" >&2; [ -f "$work/run.log" ] && tail -n 30 "$work/run.log" >&2; exit 1; }

# Starts ./run.sh in the empty folder and waits until the script has become the program.
start() {
    (cd "$work/folder" && QT_QPA_PLATFORM=offscreen exec "$work/vantrel/run.sh") >"$work/run.log" 2>&1 &
    pid=$!
    for _ in $(seq 1 1800); do
        kill -0 "$pid" 2>/dev/null || fail "./run.sh ended before the program started"
        [ "$(basename "$(readlink "/proc/$pid/exe" 2>/dev/null)")" = vantrel ] && return 0
        sleep 1
    done
    fail "the program did not start within 30 minutes"
}

# The program must stay up, then end on SIGTERM with a settings file that reads back.
stay_and_end() {
    sleep 5
    grep -q "データファイルを読み込めません" "$work/run.log" && fail "the program found no character"
    kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
    kill -TERM "$pid"
    wait "$pid" || fail "the program ended with status $? on SIGTERM"
    [ -s "$work/folder/vantrel.cfg" ] || fail "no vantrel.cfg was left"
    "$work/vantrel/build/vantrel" --check --folder "$work/folder" >"$work/check.log" 2>&1 ||
        fail "the vantrel.cfg left behind does not read back: $(cat "$work/check.log")"
}

start
stay_and_end
start
grep -q "no work to do" "$work/run.log" || fail "the second ./run.sh built again"
stay_and_end
echo "check-first-start: the program started twice from a fresh clone and left its settings"
