#!/usr/bin/env bash
# Configures, builds or tests the presets' trees, saying which and how many
# ("[3/8] building mexw32") and how long each took.
#   presets.sh configure|build|test JOBS [--beside PRESET] PRESET...
# configure runs every tree's at once: each spends most of its time waiting
# on its compiler checks. build and test take the trees in turn, each with
# JOBS jobs. test --beside PRESET starts that tree's tests first and runs
# them beside the other trees' (its longest test, a timed fuzz run, keeps
# one core busy for a minute); their output is shown when they end. After
# the tests, the closing line names the case tables that were skipped and
# why (skipped-note.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

step=$1 jobs=$2
shift 2
beside=""
if [[ ${1:-} == --beside ]]; then
    beside=$2
    shift 2
fi
presets=("$@")
count=${#presets[@]}
started=$SECONDS

# "[3/8]" for a preset: its place in the list.
place() {
    local i
    for i in "${!presets[@]}"; do
        [[ ${presets[i]} == "$1" ]] && echo "[$((i + 1))/$count]"
    done
}

configure_all() {
    local preset pids=()
    for preset in "${presets[@]}"; do
        mkdir -p "out/build/$preset"
        cmake --preset "$preset" >"out/build/$preset/configure.log" 2>&1 &
        pids+=($!)
    done
    local i failed=0
    for i in "${!presets[@]}"; do
        preset=${presets[i]}
        if wait "${pids[i]}"; then
            echo "$(place "$preset") configured $preset"
        else
            cat "out/build/$preset/configure.log"
            echo "$(place "$preset") configuring $preset failed" \
                 "(the output above is in out/build/$preset/configure.log)" >&2
            failed=1
        fi
    done
    return $failed
}

# The compilers' lines go to a log, shown when the build fails.
build_tree() {
    local preset=$1 log=out/build/$1/build.log
    echo "$(place "$preset") building $preset"
    if ! cmake --build --preset "$preset" -j "$jobs" >"$log" 2>&1; then
        cat "$log"
        echo "$(place "$preset") building $preset failed (the output above is in $log)" >&2
        return 1
    fi
}

beside_pid=""
stop_beside() {
    [[ -n $beside_pid ]] && kill "$beside_pid" 2>/dev/null || true
}

start_beside() {
    local log=out/build/$beside/test.log
    echo "$(place "$beside") testing $beside, beside the others (its output follows when it ends)"
    beside_started=$SECONDS
    ctest --preset "$beside" -j "$jobs" >"$log" 2>&1 &
    beside_pid=$!
    trap stop_beside EXIT
}

finish_beside() {
    local status=0
    wait "$beside_pid" || status=$?
    beside_pid=""
    echo "$(place "$beside") tests of $beside:"
    cat "out/build/$beside/test.log"
    echo "$(place "$beside") $beside: $((SECONDS - beside_started)) s"
    return $status
}

case $step in
    configure)
        configure_all ;;
    build)
        for preset in "${presets[@]}"; do
            begin=$SECONDS
            build_tree "$preset"
            echo "$(place "$preset") $preset: $((SECONDS - begin)) s"
        done ;;
    test)
        [[ -z $beside ]] || start_beside
        for preset in "${presets[@]}"; do
            [[ $preset != "$beside" ]] || continue
            begin=$SECONDS
            echo "$(place "$preset") testing $preset"
            ctest --preset "$preset" -j "$jobs"
            echo "$(place "$preset") $preset: $((SECONDS - begin)) s"
        done
        [[ -z $beside ]] || finish_beside
        echo "tested $count trees in $((SECONDS - started)) s"
        ./scripts/skipped-note.sh "${presets[@]/#/out/build/}" ;;
    *)
        echo "presets.sh: no step '$step' (configure, build or test)" >&2
        exit 2 ;;
esac
