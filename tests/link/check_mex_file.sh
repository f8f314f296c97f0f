#!/usr/bin/env bash
# Checks the link properties of one MEX file by reading it with readelf, nm
# and objdump: what it exports, under which version, what it needs and
# imports, and the name it records for itself.
#
#   check_mex_file.sh mexa64|mexglx|mexglx-r11|mexw32|dll|mexw64 FILE
#   check_mex_file.sh voxsmooth-mexa64|voxsmooth-mexw64 FILE
#
# Prints one line per check and closes with "N passed, M failed"; exits
# non-zero when any check failed.
set -u
kind=$1
file=$2
name=$(basename "$file")
passed=0
failed=0

check() {  # check DESCRIPTION EXPECTED ACTUAL
    if [[ "$2" == "$3" ]]; then
        passed=$((passed + 1))
        echo "ok:   $1"
    else
        failed=$((failed + 1))
        echo "FAIL: $1"
        echo "      expected: $(echo "$2" | tr '\n' ' ')"
        echo "      actual:   $(echo "$3" | tr '\n' ' ')"
    fi
}

lines() { printf '%s\n' "$@"; }

# ---- ELF ------------------------------------------------------------------
elf_machine() { readelf -h "$file" | sed -n 's/^ *Machine: *//p'; }
elf_class() { readelf -h "$file" | sed -n 's/^ *Class: *//p'; }
soname() { readelf -d "$file" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p'; }
needed() { readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
# Defined dynamic symbols as NAME@VERSION (or NAME), sorted.
exported() { readelf -W --dyn-syms "$file" | awk '$1 ~ /^[0-9]+:$/ && $7 != "UND" && $5 != "LOCAL" && $8 != "" {print $8}' | sort; }
# Undefined dynamic symbols that are not weak, without version suffixes.
imported() { readelf -W --dyn-syms "$file" | awk '$7 == "UND" && $5 == "GLOBAL" {sub(/@.*/, "", $8); print $8}' | sort; }
version_definitions() { readelf -W -V "$file" | sed -n '/Version definition/,/^$/p' | sed -n 's/.*Flags: \([A-Za-z]*\).*Name: \(.*\)$/\1 \2/p'; }
has_section() { readelf -W -S "$file" | grep -q " $1 " && echo yes || echo no; }

# The libraries that define each imported symbol, as the loader would bind
# them; used to show that nothing comes from libmat, libstdc++ or libpthread.
versioned_imports() { readelf -W --dyn-syms "$file" | awk '$7 == "UND" && $5 == "GLOBAL" {print $8}' | grep -o '@.*' | sort -u; }

# The symbol versions the file requires, as LIBRARY VERSION lines.
required_versions() { readelf -W -V "$file" | sed -n '/Version needs/,$p' | awk '/File:/ {library = $5} /Name:/ {print library, $3}'; }
# Those that an older C library would lack: every required version must be
# a GLIBC_ one no newer than the ceiling given for its library, as
# LIBRARY=CEILING arguments.
versions_above() {
    local library version pair ceiling
    required_versions | while read -r library version; do
        ceiling=""
        for pair in "$@"; do
            [[ "${pair%%=*}" == "$library" ]] && ceiling=${pair#*=}
        done
        if [[ -z "$ceiling" || "$version" != GLIBC_* ||
              "$(printf '%s\n' "$version" "$ceiling" | sort -V | tail -n 1)" != "$ceiling" ]]; then
            echo "$library $version"
        fi
    done
}

# The class, sparsity and element-count queries keep their plain names in
# the R14 generation too: only the calls that deal in dimensions changed.
r14_host_calls=$(lines exp mexErrMsgTxt mexPrintf mxCreateNumericArray_700 mxGetDimensions_700 \
                       mxGetNumberOfDimensions_700 mxGetNumberOfElements mxGetPr mxIsDouble \
                       mxIsSparse sprintf | sort)
plain_host_calls=$(lines exp mexErrMsgTxt mexPrintf mxCreateNumericArray mxGetDimensions \
                         mxGetNumberOfDimensions mxGetNumberOfElements mxGetPr mxIsDouble \
                         mxIsSparse sprintf | sort)

check_r14_linux() {
    local machine=$1 class=$2 libc_ceiling=$3 libm_ceiling=$4
    check "machine" "$machine" "$(elf_machine)"
    check "class" "$class" "$(elf_class)"
    check "no shared-object name" "" "$(soname)"
    check "needed libraries, in order" \
        "$(lines libmx.so libmex.so libmat.so libm.so.6 libstdc++.so.6 libpthread.so.0 libc.so.6)" \
        "$(needed)"
    check "version definitions: the file's name as base, one node MEX" \
        "$(lines "BASE $name" "none MEX")" "$(version_definitions)"
    check "exports: mexFunction and mexVersion under MEX, and the node symbol" \
        "$(lines MEX mexFunction@@MEX mexVersion@@MEX)" "$(exported)"
    check "imports: the R14 host calls, exp and sprintf only" "$r14_host_calls" "$(imported)"
    check "versioned imports come from the C and maths libraries only" "" \
        "$(versioned_imports | grep -v -E '^@GLIBC_[0-9.]+$')"
    check "symbol versions: libc.so.6 up to $libc_ceiling, libm.so.6 up to $libm_ceiling" "" \
        "$(versions_above "libc.so.6=$libc_ceiling" "libm.so.6=$libm_ceiling")"
}

# voxsmooth's files: the 64-bit generation of the dimension calls, the class
# queries, and threads; on Linux still bound to the oldest glibc versions.
smooth_host_calls=$(lines mexErrMsgTxt mexPrintf mxCreateNumericArray_730 mxGetClassID \
                          mxGetClassName mxGetData mxGetDimensions_730 \
                          mxGetNumberOfDimensions_730 mxGetNumberOfElements mxIsComplex \
                          mxIsSparse | sort)
smooth_c_calls=$(lines exp free getenv madvise malloc pthread_attr_destroy pthread_attr_init \
                       pthread_attr_setstacksize pthread_create pthread_join pthread_sigmask \
                       sigfillset sprintf syscall sysconf | sort)

check_smooth_linux() {
    check "machine" "Advanced Micro Devices X86-64" "$(elf_machine)"
    check "no shared-object name" "" "$(soname)"
    check "needed libraries, in order" \
        "$(lines libmx.so libmex.so libmat.so libm.so.6 libstdc++.so.6 libpthread.so.0 libc.so.6)" \
        "$(needed)"
    check "version definitions: the file's name as base, one node MEX" \
        "$(lines "BASE $name" "none MEX")" "$(version_definitions)"
    check "exports: mexFunction under MEX, and the node symbol" \
        "$(lines MEX mexFunction@@MEX)" "$(exported)"
    check "imports: the host calls, the C library's allocation, thread and maths calls" \
        "$(printf '%s\n' "$smooth_host_calls" "$smooth_c_calls" | sort)" \
        "$(imported | grep -v -x -E '__cxa_finalize')"
    check "versioned imports come from the C and maths libraries only" "" \
        "$(versioned_imports | grep -v -E '^@GLIBC_[0-9.]+$')"
    check "symbol versions: libc.so.6 and libm.so.6 up to GLIBC_2.2.5" "" \
        "$(versions_above "libc.so.6=GLIBC_2.2.5" "libm.so.6=GLIBC_2.2.5")"
}

check_r11_linux() {
    check "machine" "Intel 80386" "$(elf_machine)"
    check "no shared-object name" "" "$(soname)"
    check "no needed libraries" "" "$(needed)"
    check "no version information" "no no no" \
        "$(has_section .gnu.version) $(has_section .gnu.version_d) $(has_section .gnu.version_r)"
    check "every function global: gateway, version call and engine" \
        "$(lines compute_gauss filter_1d gauss_filter mexFunction mexVersion)" \
        "$(readelf -W --dyn-syms "$file" | awk '$4 == "FUNC" && $5 == "GLOBAL" && $7 != "UND" {print $8}' | sort)"
    check "unresolved: the plain host calls, exp and sprintf" "$plain_host_calls" "$(imported)"
}

# ---- PE -------------------------------------------------------------------
pe_export_name() { objdump -p "$file" | sed -n 's/^Name[[:space:]]*[0-9a-f]* \(.*\)$/\1/p'; }
pe_exports() { objdump -p "$file" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort; }
# Windows file names are case-insensitive; compare them in lower case. A DLL
# named by two import libraries has two import blocks; it counts once.
pe_dlls() { objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' | tr 'A-Z' 'a-z' | sort -u; }
pe_imports_from() {
    objdump -p "$file" | awk -v dll="$1" '
        /DLL Name:/ { current = tolower($3) }
        /^[[:space:]]*$/ { current = "" }
        current == dll && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }' | sort
}

check_windows() {
    local format=$1 export_name=$2 c_runtime=$3 host_calls=$4 threads=$5
    check "PE file format $format" "$format" "$(objdump -f "$file" | sed -n 's/.*file format //p')"
    check "export directory names the DLL" "$name" "$(pe_export_name)"
    check "exports only the gateway, as $export_name" "$export_name" "$(pe_exports)"
    check "imported DLLs: host, C runtime, start-up code" \
        "$(lines kernel32.dll libmex.dll libmx.dll "$c_runtime" | sort)" "$(pe_dlls)"
    check "libmx imports" \
        "$(echo "$host_calls" | grep '^mx' | sort)" "$(pe_imports_from libmx.dll)"
    check "libmex imports" "$(lines mexErrMsgTxt mexPrintf)" "$(pe_imports_from libmex.dll)"
    check "the C runtime provides exp and sprintf" "exp sprintf" \
        "$(pe_imports_from "$c_runtime" | grep -x -E 'exp|sprintf' | tr '\n' ' ' | sed 's/ $//')"
    check "threads started: ${threads:-none}" "$threads" \
        "$(pe_imports_from kernel32.dll | grep -x CreateThread)"
}

if [[ ! -f "$file" ]]; then
    echo "FAIL: no file $file"
    echo "0 passed, 1 failed"
    exit 1
fi

# This test's own expectations for each kind of cmake/mex_files.cmake, kept
# apart from the table on purpose (mex_file_lists.cmake checks each row has them).
case "$kind" in
    # The oldest versions glibc has of the calls each file makes: on i386
    # exp and sprintf date from 2.0, the start-up code's __cxa_finalize
    # from 2.1.3.
    mexa64) check_r14_linux "Advanced Micro Devices X86-64" ELF64 GLIBC_2.2.5 GLIBC_2.2.5 ;;
    mexglx) check_r14_linux "Intel 80386" ELF32 GLIBC_2.1.3 GLIBC_2.0 ;;
    mexglx-r11) check_r11_linux ;;
    mexw32) check_windows pei-i386 mexFunction msvcr71.dll "$r14_host_calls" "" ;;
    dll) check_windows pei-i386 _mexFunction crtdll.dll "$plain_host_calls" "" ;;
    mexw64) check_windows pei-x86-64 mexFunction msvcrt.dll "$r14_host_calls" CreateThread ;;
    voxsmooth-mexa64) check_smooth_linux ;;
    voxsmooth-mexw64)
        check "PE file format pei-x86-64" pei-x86-64 "$(objdump -f "$file" | sed -n 's/.*file format //p')"
        check "exports only the gateway, as mexFunction" mexFunction "$(pe_exports)"
        check "imported DLLs: host, C runtime, start-up code" \
            "$(lines kernel32.dll libmex.dll libmx.dll msvcrt.dll | sort)" "$(pe_dlls)"
        check "libmx imports" "$(echo "$smooth_host_calls" | grep '^mx')" "$(pe_imports_from libmx.dll)"
        check "threads started" CreateThread "$(pe_imports_from kernel32.dll | grep -x CreateThread)" ;;
    *) echo "unknown kind $kind"; exit 2 ;;
esac

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
