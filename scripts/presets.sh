#!/usr/bin/env bash
# Configures, builds or tests the presets' trees, saying which and how many
# ("[3/8] building mexw32") and how long each took.
#   presets.sh configure|build|test JOBS PRESET...
# configure runs every tree's at once: each spends most of its time waiting
# on its compiler checks. build takes the trees in turn, each with JOBS
# jobs. test builds them in turn too, and starts each tree's tests as soon
# as it is built, beside the builds that follow (the sanitizer tree's
# longest test, a timed fuzz run, keeps one core busy for a minute); their
# output is shown in order at the end. The first tree is tested last, in
# the foreground: the other trees' tests run its case-table runner, and its
# own tests bundle every tree's files. The closing line names the case
# tables that were skipped and why (skipped-note.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

step=$1 jobs=$2
shift 2
presets=("$@")
count=${#presets[@]}
started=$SECONDS

# "[3/8]" for the preset at index i of the list.
place() {
    echo "[$(($1 + 1))/$count]"
}

configure_all() {
    local i pids=() failed=0
    for i in "${!presets[@]}"; do
        mkdir -p "out/build/${presets[i]}"
        cmake --preset "${presets[i]}" >"out/build/${presets[i]}/configure.log" 2>&1 &
        pids+=($!)
    done
    for i in "${!presets[@]}"; do
        if wait "${pids[i]}"; then
            echo "$(place "$i") configured ${presets[i]}"
        else
            cat "out/build/${presets[i]}/configure.log"
            echo "$(place "$i") configuring ${presets[i]} failed" \
                 "(the output above is in out/build/${presets[i]}/configure.log)" >&2
            failed=1
        fi
    done
    return $failed
}

# The compilers' lines go to a log, shown when the build fails.
build_tree() {
    local i=$1 begin=$SECONDS
    local preset=${presets[i]} log=out/build/${presets[i]}/build.log
    echo "$(place "$i") building $preset"
    if ! cmake --build --preset "$preset" -j "$jobs" >"$log" 2>&1; then
        cat "$log"
        echo "$(place "$i") building $preset failed (the output above is in $log)" >&2
        return 1
    fi
    echo "$(place "$i") $preset built in $((SECONDS - begin)) s"
}

# Tests running beside the builds: their process, by index.
test_pids=()
stop_tests() {
    local pid
    for pid in "${test_pids[@]}"; do
        [[ -z $pid ]] || kill "$pid" 2>/dev/null || true
    done
}

# A tree's tests into its test.log, which ends with the time they took.
test_tree() {
    local i=$1 begin=$SECONDS status=0
    ctest --preset "${presets[i]}" -j "$jobs" || status=$?
    echo "$(place "$i") ${presets[i]}: tested in $((SECONDS - begin)) s"
    return $status
}

start_tests() {
    local i=$1
    echo "$(place "$i") testing ${presets[i]}, beside what follows (its output comes at the end)"
    test_tree "$i" >"out/build/${presets[i]}/test.log" 2>&1 &
    test_pids[i]=$!
}

# Waits for a tree's tests started beside, and shows their output.
finish_tests() {
    local i=$1 status=0
    wait "${test_pids[i]}" || status=$?
    test_pids[i]=""
    echo "$(place "$i") tests of ${presets[i]}:"
    cat "out/build/${presets[i]}/test.log"
    return $status
}

build_and_test() {
    trap stop_tests EXIT
    build_tree 0
    local i failed=0
    for ((i = 1; i < count; ++i)); do
        build_tree "$i"
        start_tests "$i"
    done
    echo "$(place 0) testing ${presets[0]}"
    test_tree 0 || failed=1
    for ((i = 1; i < count; ++i)); do
        finish_tests "$i" || failed=1
    done
    echo "built and tested $count trees in $((SECONDS - started)) s"
    ./scripts/skipped-note.sh "${presets[@]/#/out/build/}"
    return $failed
}

case $step in
    configure)
        configure_all ;;
    build)
        for i in "${!presets[@]}"; do
            build_tree "$i"
        done ;;
    test)
        build_and_test ;;
    *)
        echo "presets.sh: no step '$step' (configure, build or test)" >&2
        exit 2 ;;
esac
