#!/usr/bin/env bash
# Compiles the Octave package's sources for 64-bit ARM through its own
# Makefile, as "pkg install" would on an ARM machine, but without linking:
# there is no ARM Octave here, and Octave's headers do not depend on the
# processor. The script stands in for mkoctfile too (--mkoctfile): it
# names the compiler for -p CXX, compiles each source it is given with
# the CXXFLAGS the Makefile sets and Octave's include flags, and links
# nothing. The objects must hold the NEON passes and the
# POSIX threads.
#
#   octave_package_on_arm.sh TARBALL FOLDER COMPILER NM OCTAVE_INCLUDE_FLAGS...
set -eu
if [[ $1 == --mkoctfile ]]; then
    shift
    compiler=$1
    shift
    if [[ $* == "-p CXX" ]]; then
        echo "$compiler"
        exit 0
    fi
    flags=()
    sources=()
    while (($#)); do
        case $1 in
            -o) shift 2 ;;
            -*) flags+=("$1"); shift ;;
            *.o) shift ;;  # a link: no ARM Octave to link against
            *) sources+=("$1"); shift ;;
        esac
    done
    for source in "${sources[@]}"; do
        # shellcheck disable=SC2086  # CXXFLAGS holds several flags
        "$compiler" $CXXFLAGS "${flags[@]}" -fPIC -c "$source"
    done
    exit 0
fi

tarball=$1 folder=$2 compiler=$3 nm=$4
shift 4
rm -rf "$folder"
mkdir -p "$folder"
tar xzf "$tarball" -C "$folder"
src=$(echo "$folder"/*/src)
make -C "$src" WARNINGS="-Wall -Wextra -Werror" \
     MKOCTFILE="$(realpath "$0") --mkoctfile $compiler $*"
status=0
require() {
    if ! "$nm" "$src/$1" | grep -qE "$2"; then
        echo "FAIL: $1 has no $2"
        status=1
    fi
}
require passes_neon.o ' T volume_passes_neon$'
require passes_select.o ' U volume_passes_neon$'
require threads_posix.o ' U pthread_create$'
require voxblur_oct.o ' T '
[[ $status == 0 ]] && echo "ok: the Octave package compiles for 64-bit ARM, with the NEON passes and POSIX threads"
exit $status
