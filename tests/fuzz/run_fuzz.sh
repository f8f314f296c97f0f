#!/bin/sh
# Runs the gateway fuzz targets with the options every run shares.
#
#   run_fuzz.sh seeds TARGET
#       every committed seed and fault input through TARGET once
#   run_fuzz.sh run FOLDER SECONDS JOBS
#       fuzzes for SECONDS in all, three quarters with gateway_fuzz and the
#       rest with gateway_fuzz_long (both in FOLDER), on JOBS processes
#       (libFuzzer's -fork when more than one). Each keeps what it finds in
#       FOLDER/corpus/TARGET and writes the input of a fault to
#       FOLDER/faults/; libFuzzer prints executions per second and coverage
#       as it goes. Stops at the first fault, with its status.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

# A single allocation over 64 MiB counts as a failure; a call over 30 s too.
options="-malloc_limit_mb=64 -rss_limit_mb=1024 -max_len=4096 -timeout=30
         -print_final_stats=1 -dict=$here/gateway_fuzz.dict"
inputs="$here/corpus"
[ -d "$here/faults" ] && inputs="$inputs $here/faults"

case "${1-}" in
seeds)
    # shellcheck disable=SC2086
    exec "$2" $options -runs=0 $inputs
    ;;
run)
    folder=$2 seconds=$3 jobs=$4
    long_seconds=$((seconds / 4 > 0 ? seconds / 4 : 1))
    fast_seconds=$((seconds - long_seconds > 0 ? seconds - long_seconds : 1))
    parallel=""
    [ "$jobs" -gt 1 ] && parallel="-fork=$jobs"
    mkdir -p "$folder/faults"
    for share in gateway_fuzz:$fast_seconds gateway_fuzz_long:$long_seconds; do
        target=${share%:*}
        mkdir -p "$folder/corpus/$target"
        echo "== $target for ${share#*:} s on $jobs process(es)"
        # shellcheck disable=SC2086
        "$folder/$target" $options $parallel -max_total_time=${share#*:} \
            -artifact_prefix="$folder/faults/" "$folder/corpus/$target" $inputs
    done
    ;;
*)
    echo "usage: $0 seeds TARGET | run FOLDER SECONDS JOBS" >&2
    exit 2
    ;;
esac
