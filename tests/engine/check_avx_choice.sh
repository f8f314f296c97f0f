#!/bin/sh
# Runs avx_choice (the command line given, e.g. under wine) and compares what
# it prints with the choice this processor should get. The expectation is
# worked out here, when the test runs, from the processor that runs it.
#   check_avx_choice.sh COMMAND...

# The vector passes for three 9-tap kernels, then for three 33-tap ones:
# where the processor has AVX-512, it runs at both lengths on Intel's and on
# AMD's from family 26 on, and only for the long kernels elsewhere.
cpuinfo_field() {
    grep -m 1 "^$1[[:space:]]*:" /proc/cpuinfo | cut -d : -f 2 | tr -d ' '
}

expected_choice() {
    flags=" $(grep -m 1 '^flags' /proc/cpuinfo | cut -d : -f 2) "
    case "$flags" in
        *" avx512f "*)
            vendor=$(cpuinfo_field vendor_id)
            family=$(cpuinfo_field 'cpu family')
            if [ "$vendor" = GenuineIntel ] ||
                { [ "$vendor" = AuthenticAMD ] && [ "$family" -ge 26 ]; }; then
                echo "avx512 avx512"
            else
                echo "avx avx512"
            fi ;;
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
