#!/usr/bin/env bash
# Configures, builds or tests each preset's tree in turn, saying which and
# how many are left ("[3/8] building mexw32"), and how long each took.
# After the tests, the closing line names the case tables that were skipped
# and why (skipped-note.sh).
#   presets.sh configure|build|test JOBS PRESET...
set -euo pipefail
cd "$(dirname "$0")/.."

step=$1 jobs=$2
shift 2
count=$#
index=0
started=$SECONDS
for preset in "$@"; do
    index=$((index + 1))
    begin=$SECONDS
    case $step in
        configure)
            echo "[$index/$count] configuring $preset"
            cmake --preset "$preset" >/dev/null ;;
        build)
            # The compilers' lines go to a log, shown when the build fails.
            echo "[$index/$count] building $preset"
            log=out/build/$preset/build.log
            if ! cmake --build --preset "$preset" -j "$jobs" >"$log" 2>&1; then
                cat "$log"
                echo "[$index/$count] building $preset failed (the output above is in $log)" >&2
                exit 1
            fi ;;
        test)
            echo "[$index/$count] testing $preset"
            ctest --preset "$preset" -j "$jobs" ;;
        *)
            echo "presets.sh: no step '$step' (configure, build or test)" >&2
            exit 2 ;;
    esac
    [[ $step == configure ]] || echo "[$index/$count] $preset: $((SECONDS - begin)) s"
done
if [[ $step == test ]]; then
    echo "tested $count trees in $((SECONDS - started)) s"
    ./scripts/skipped-note.sh "${@/#/out/build/}"
fi
