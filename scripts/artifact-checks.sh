# shellcheck shell=bash
# Checks of built artefacts shared by check-install.sh and check-packages.sh
# (sourced after common.sh, not run).

# Exits unless each command is there; the arguments are pairs of a command
# and the Debian package that brings it.
require_commands() {
    while (($# >= 2)); do
        command -v "$1" >/dev/null || die "$1 not found: install the Debian package $2"
        shift 2
    done
}

# Exits unless the lines of actual are the expected ones.
expect_lines() {
    local what=$1 actual=$2 expected=$3
    [[ $actual == "$expected" ]] ||
        die "$what:"$'\n'"$actual"$'\n'"expected:"$'\n'"$expected"
}

# The regular files below a directory, relative to it, sorted.
list_files() { (cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort); }

expect_runpath() {
    local library=$1 runpath
    runpath=$(readelf -d "$library" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    # shellcheck disable=SC2016 # the literal text $ORIGIN
    [[ $runpath == '$ORIGIN' ]] || die "$library: RUNPATH is '$runpath', expected '\$ORIGIN'"
}

# Guards against taking host programs for cross-built ones.
expect_machine() {
    local preset=$1 file machine wanted='Advanced Micro Devices X86-64'
    [[ $preset != aarch64 ]] || wanted=AArch64
    shift
    for file in "$@"; do
        machine=$(readelf -h "$file" | sed -n 's/^ *Machine: *//p')
        [[ $machine == "$wanted" ]] || die "$file is built for '$machine', expected '$wanted'"
    done
}

# What the runtime and the development component install, relative to the
# prefix, sorted; the library directory is the argument.
runtime_files() { echo "$1/libTrelvo_aarch64.so"; }
development_files() {
    local libdir=$1
    echo "include/trelvo/Trelvo.h
$libdir/cmake/Trelvo/TrelvoConfig.cmake
$libdir/cmake/Trelvo/TrelvoConfigVersion.cmake
$libdir/cmake/Trelvo/TrelvoTargets-relwithdebinfo.cmake
$libdir/cmake/Trelvo/TrelvoTargets.cmake
$libdir/pkgconfig/trelvo.pc"
}
