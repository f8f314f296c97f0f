#!/usr/bin/env bash
# Reads the machine code of the vector passes for fused multiply-adds, which
# would round a product and a sum once instead of twice. AVX-512F and every
# 64-bit ARM processor have them, and compilers reach for them; the engine's
# pragmas must keep every one out. Each argument is an object file (x86-64
# or AArch64), or a ;-separated list of them.
#
#   check_no_fma.sh OBJECT...
set -u
status=0
checked=0
for argument in "$@"; do
    IFS=';' read -r -a objects <<< "$argument"
    for object in "${objects[@]}"; do
        case $(basename "$object") in
            passes_*.o | smooth_passes_*.o) ;;
            *) continue ;;
        esac
        # x86: vfmadd231pd, vfnmsub132sd, ...; AArch64: fmla and fmls
        # (vectors), fmadd, fmsub, fnmadd and fnmsub (scalars).
        if readelf -h "$object" | grep -q 'Machine:.*AArch64'; then
            disassembler=aarch64-linux-gnu-objdump
            fused='\s(fmla|fmls|fn?madd|fn?msub)\s'
        else
            disassembler=objdump
            fused='\svf(n)?m(add|sub|addsub|subadd)[0-9]'
        fi
        if ! listing=$("$disassembler" -d --no-show-raw-insn "$object"); then
            echo "FAIL: $disassembler cannot read $object"
            status=1
            continue
        fi
        count=$(grep -cE "$fused" <<< "$listing")
        checked=$((checked + 1))
        if [[ $count != 0 ]]; then
            echo "FAIL: $object has $count fused multiply-add instructions"
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
