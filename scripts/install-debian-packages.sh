#!/usr/bin/env bash
# Installs the named Debian packages that are missing (name:arch works too).
#   install-debian-packages.sh [--notes FOLDER] PACKAGE... [--run-only PACKAGE...]
# The packages before --run-only are needed to build: when one cannot be
# installed, this stops, naming them and apt's reason. Those after it only
# run some tests: when one cannot be installed, this goes on, and writes
# apt's reason in FOLDER/PACKAGE for the build trees, which skip the tests
# that need it and say why (FOLDER/PACKAGE is removed once it is installed).
# As root it runs apt-get; otherwise it says what to install.
#
# A package mirror in the middle of a sync fails an index now and then:
# apt-get update is tried again after pauses that grow (APT_UPDATE_PAUSES,
# in seconds), and the install goes ahead with whatever lists apt has. Only
# a missing build package is worth that wait: for run-only ones alone, one
# try.
set -euo pipefail

notes=""
build=()
run_only=()
kind=build
while [[ $# -gt 0 ]]; do
    case $1 in
        --notes) notes=$2; shift 2; continue ;;
        --run-only) kind=run_only ;;
        *) if [[ $kind == build ]]; then build+=("$1"); else run_only+=("$1"); fi ;;
    esac
    shift
done
read -r -a pauses <<<"${APT_UPDATE_PAUSES-10 20 40}"

installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}

missing_build=()
missing_run=()
for package in ${build[@]+"${build[@]}"}; do
    installed "$package" || missing_build+=("$package")
done
for package in ${run_only[@]+"${run_only[@]}"}; do
    if installed "$package"; then
        [[ -z $notes ]] || rm -f "$notes/$package"
    else
        missing_run+=("$package")
    fi
done
[[ ${#missing_build[@]} -eq 0 && ${#missing_run[@]} -eq 0 ]] && exit 0

# note PACKAGE REASON: why the tests that need PACKAGE are skipped.
note() {
    echo "Not installed: $1 ($2); the tests that need it are skipped." >&2
    [[ -z $notes ]] && return
    mkdir -p "$notes"
    echo "$1 could not be installed: $2" >"$notes/$1"
}

if [[ $(id -u) -ne 0 ]]; then
    if [[ ${#missing_build[@]} -gt 0 ]]; then
        echo "Missing Debian packages: ${missing_build[*]} ${missing_run[*]}" >&2
        echo "Install them as root: apt-get install ${missing_build[*]} ${missing_run[*]}" >&2
        exit 1
    fi
    for package in "${missing_run[@]}"; do
        note "$package" "only root can install it"
    done
    exit 0
fi

for package in ${missing_build[@]+"${missing_build[@]}"} ${missing_run[@]+"${missing_run[@]}"}; do
    if [[ "$package" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
done

export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# apt_install PACKAGE...: apt-get's output goes to $log.
apt_install() {
    apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1
}

# apt's reason for the failure in $log: its error lines, on one line,
# without the characters a shell command or a CMake list would take apart.
reason() {
    local errors
    errors=$(sed -n 's/^E: //p' "$log" | paste -sd ' ')
    [[ -n $errors ]] || errors="apt-get install failed: $(tail -n 1 "$log")"
    echo "$errors" | tr -d '"`$\\' | tr ';' ',' # (the quotes, backquote, dollar, backslash)
}

update() {
    local attempt
    [[ ${#missing_build[@]} -gt 0 ]] || pauses=()
    for ((attempt = 0; ; ++attempt)); do
        apt-get update -qq && return 0
        [[ $attempt -lt ${#pauses[@]} ]] || break
        echo "apt-get update failed; trying again in ${pauses[attempt]} s" >&2
        sleep "${pauses[attempt]}"
    done
    echo "apt-get update fails: installing from the package lists apt has" >&2
}

# installed_all: every run-only package is in, none skips its tests.
installed_all() {
    for package in ${missing_run[@]+"${missing_run[@]}"}; do
        [[ -z $notes ]] || rm -f "$notes/$package"
    done
    exit 0
}

all_missing=(${missing_build[@]+"${missing_build[@]}"} ${missing_run[@]+"${missing_run[@]}"})
echo "Installing Debian packages: ${all_missing[*]}"
# The lists apt has may do (then there is no need to fetch them).
apt_install "${all_missing[@]}" && installed_all
update

# The build packages, then each run-only one.
if [[ ${#missing_build[@]} -gt 0 ]] && ! apt_install "${missing_build[@]}"; then
    echo "Cannot install the Debian packages the build needs: ${missing_build[*]}" >&2
    echo "apt says: $(reason)" >&2
    exit 1
fi
for package in ${missing_run[@]+"${missing_run[@]}"}; do
    if apt_install "$package"; then
        [[ -z $notes ]] || rm -f "$notes/$package"
    else
        note "$package" "$(reason)"
    fi
done
