#!/bin/sh
# Runs avx_choice (the command line given, e.g. under wine) and compares what
# it prints with the choice this processor should get. The expectation is
# worked out here, when the test runs, from the processor that runs it.
#   check_avx_choice.sh COMMAND...

# The vector passes for three 9-tap kernels, then for three 33-tap ones:
# AVX-512 only for the long kernels, where the processor has it.
expected_choice() {
    flags=" $(grep -m 1 '^flags' /proc/cpuinfo | cut -d : -f 2) "
    case "$flags" in
        *" avx512f "*) echo "avx avx512" ;;
        *" avx "*) echo "avx avx" ;;
        *) echo "sse2 sse2" ;;
    esac
}

expected=$(expected_choice)
if ! output=$("$@"); then
    echo "FAIL: $* exited with an error: $output"
    exit 1
fi
chosen=$(printf '%s' "$output" | tr -d '\r')
if [ "$chosen" != "$expected" ]; then
    echo "FAIL: the engine chose '$chosen', where this processor should get '$expected'"
    exit 1
fi
echo "$chosen"
