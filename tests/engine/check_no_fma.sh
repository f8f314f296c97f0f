#!/usr/bin/env bash
# Reads the machine code of the vector passes for fused multiply-adds, which
# would round a product and a sum once instead of twice. AVX-512F has them
# and AVX2-era compilers reach for them; -ffp-contract=off must keep every
# one out. Each argument is an object file, or a ;-separated list of them.
#
#   check_no_fma.sh OBJECT...
set -u
status=0
checked=0
for argument in "$@"; do
    IFS=';' read -r -a objects <<< "$argument"
    for object in "${objects[@]}"; do
        case $(basename "$object") in
            passes_*.o) ;;
            *) continue ;;
        esac
        fused=$(objdump -d --no-show-raw-insn "$object" | grep -cE '\svf(n)?m(add|sub|addsub|subadd)[0-9]')
        checked=$((checked + 1))
        if [[ $fused != 0 ]]; then
            echo "FAIL: $object has $fused fused multiply-add instructions"
            status=1
        else
            echo "ok:   $object has no fused multiply-add"
        fi
    done
done
if [[ $checked == 0 ]]; then
    echo "FAIL: no passes_*.o among the arguments"
    status=1
fi
exit $status
