#!/usr/bin/env bash
# scripts/install-debian-packages.sh on a package mirror that fails one
# index, through stand-ins for apt-get, dpkg-query, dpkg and id on the PATH.
# apt-get update always fails as such a mirror makes it; apt-get install
# fails with its message for any package of BROKEN.
#   check_install_script.sh run-only SOURCE_DIR CMAKE FOLDER
#     wine32:i386 cannot be installed: the script goes on, and a build tree
#     of voxblur.mexw32 configured after it names the reason on the closing
#     line of make test.
#   check_install_script.sh build SOURCE_DIR CMAKE FOLDER
#     a build package cannot be installed: the script stops, naming it and
#     apt's reason.
set -euo pipefail
mode=$1 source=$2 cmake=$3 folder=$4
rm -rf "$folder"
mkdir -p "$folder/bin"
stand_ins=$folder/bin

cat >"$stand_ins/apt-get" <<'STAND_IN'
#!/bin/sh
echo "apt-get $*" >>"$FAKE_LOG"
if [ "$1" = update ]; then
    echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    exit 100
fi
for package in "$@"; do
    case " $BROKEN " in
        *" $package "*)
            echo "The following packages have unmet dependencies:"
            echo "E: $package: stand-in apt cannot resolve its dependencies" >&2
            exit 100 ;;
    esac
done
STAND_IN
cat >"$stand_ins/dpkg-query" <<'STAND_IN'
#!/bin/sh
# dpkg-query -W -f=FORMAT PACKAGE: installed unless MISSING names it.
case " $MISSING " in *" $3 "*) exit 1 ;; esac
printf 'install ok installed'
STAND_IN
printf '#!/bin/sh\necho i386\n' >"$stand_ins/dpkg"
printf '#!/bin/sh\necho 0\n' >"$stand_ins/id"
chmod +x "$stand_ins"/*

export PATH=$stand_ins:$PATH FAKE_LOG=$folder/apt.log APT_UPDATE_PAUSES="0 0"
notes=$folder/packages-not-installed
install() {
    "$source/scripts/install-debian-packages.sh" --notes "$notes" cmake g++-12-multilib \
        mingw-w64 --run-only wine32:i386
}
fail() { echo "FAIL: $*" >&2; exit 1; }

if [[ $mode == run-only ]]; then
    MISSING="wine32:i386" BROKEN="wine32:i386" install || fail "the script stopped"
    # For a run-only package alone, apt-get update is tried once.
    updates=$(grep -c '^apt-get update' "$FAKE_LOG")
    [[ $updates -eq 1 ]] || fail "apt-get update ran $updates times, not once"
    # The note reaches the build tree of a Windows x86 file, and make test's
    # closing line.
    "$cmake" -S "$source" -B "$folder/mexw32" -DVOXBLUR_PACKAGE_NOTES="$notes" \
        -DCMAKE_TOOLCHAIN_FILE="$source/cmake/toolchain-mingw-i686.cmake" \
        -DVOXBLUR_DELIVERABLE=mexw32 -DCMAKE_BUILD_TYPE=Release >/dev/null
    line=$("$source/scripts/skipped-note.sh" "$folder/mexw32")
    echo "$line"
    expected="wine32:i386 could not be installed: wine32:i386: stand-in apt cannot resolve its dependencies"
    [[ $line == "skipped: the voxblur.mexw32 case tables ("*"$expected)" ]] ||
        fail "the closing line does not name the package and apt's reason"
    # Once the package is installed, the note goes.
    MISSING="" install
    [[ ! -e $notes/wine32:i386 ]] || fail "the note stays after wine32:i386 is installed"
else
    if MISSING="g++-12-multilib wine32:i386" BROKEN="g++-12-multilib" install 2>"$folder/stderr"
    then
        fail "the script went on without a build package"
    fi
    cat "$folder/stderr"
    updates=$(grep -c '^apt-get update' "$FAKE_LOG")
    [[ $updates -eq 3 ]] || fail "apt-get update ran $updates times, not 1 + 2 retries"
    grep -qx "Cannot install the Debian packages the build needs: g++-12-multilib" \
        "$folder/stderr" || fail "the message does not name the build package"
    grep -qx "apt says: g++-12-multilib: stand-in apt cannot resolve its dependencies" \
        "$folder/stderr" || fail "the message does not give apt's reason"
fi
echo "PASS"
