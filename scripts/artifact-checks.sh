# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# shellcheck shell=bash
# Shared by the check-*.sh scripts (sourced, not run): a work directory,
# builds without tests, checks of built artefacts, and runs of the consumers.
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# WORK: a directory under build/, removed when the script exits. Its tmp/ is
# the TMPDIR of every tool the script runs (lintian leaves files behind in
# its own), so that nothing is left outside the build directory.
make_work_dir() {
    mkdir -p "$TRELVO_SOURCE_DIR/build"
    WORK=$(mktemp -d "$TRELVO_SOURCE_DIR/build/$1.XXXXXX")
    readonly WORK
    trap 'rm -rf "$WORK"' EXIT
    export TMPDIR=$WORK/tmp
    mkdir "$TMPDIR"
}

# The version of the source package, and the upstream version in it.
DEBIAN_VERSION=$(dpkg-parsechangelog -l "$TRELVO_SOURCE_DIR/debian/changelog" -S Version)
UPSTREAM_VERSION=${DEBIAN_VERSION%-*}

# Builds the source package of the last commit with dpkg-buildpackage and the options
# given, in DIR/NAME: a copy of release.sh's source tarball, which lies beside it as the
# upstream tarball. The .dsc, .changes and .deb files land in DIR.
build_source_package() {
    local dir=$1 name=$2 orig
    shift 2
    orig=$dir/libtrelvo_$UPSTREAM_VERSION.orig.tar.gz
    mkdir -p "$dir/$name"
    "$TRELVO_SOURCE_DIR/scripts/release.sh" --source "$dir" >/dev/null
    mv "$dir/libtrelvo-$UPSTREAM_VERSION.tar.gz" "$orig"
    tar -C "$dir/$name" --strip-components=1 -xzf "$orig"
    announce "dpkg-buildpackage $* in $dir/$name"
    (cd "$dir/$name" && DEB_BUILD_OPTIONS="parallel=2 ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -us -uc "$@")
}

# Configures a preset into the build tree given, without tests, and builds it.
build_preset_into() {
    local preset=$1 build=$2
    shift 2
    announce "Preset '$preset': configure and build in $build"
    in_source_tree cmake --preset "$preset" -B "$build" -DTRELVO_BUILD_TESTS=OFF "$@" >/dev/null
    cmake --build "$build"
}

# Runs a check for each preset named (native, aarch64; default both).
for_each_preset() {
    local check=$1 preset
    shift
    (($# > 0)) || set -- native aarch64
    for preset in "$@"; do
        [[ $preset == native || $preset == aarch64 ]] || die "unknown preset '$preset' (native or aarch64)"
        "$check" "$preset"
    done
    announce "Checked: $*"
}

# Exits unless the lines of actual are the expected ones.
expect_lines() {
    [[ $2 == "$3" ]] || die "$1:"$'\n'"$2"$'\n'"expected:"$'\n'"$3"
}

expect_runpath() {
    # shellcheck disable=SC2016 # the literal text $ORIGIN
    expect_lines "RUNPATH of $1" "$(readelf -d "$1" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')" '$ORIGIN'
}

# Guards against taking host programs for cross-built ones.
expect_machine() {
    local file wanted='Advanced Micro Devices X86-64'
    [[ $1 != aarch64 ]] || wanted=AArch64
    for file in "${@:2}"; do
        expect_lines "machine of $file" "$(readelf -h "$file" | sed -n 's/^ *Machine: *//p')" "$wanted"
    done
}

# Runs a consumer (through RUNNER, an emulator or nothing), which checks that the front
# end chose the implementation named, with an empty home and current directory, and of
# the variables that steer the front end only those given: CONSUMER IMPLEMENTATION VAR=value...
RUNNER=()
run_consumer() {
    mkdir -p "$WORK/home" "$WORK/run"
    (cd "$WORK/run" && env -i PATH="$PATH" HOME="$WORK/home" "${@:3}" "${RUNNER[@]}" "$1" "$2")
}

# What the runtime and the development component install, relative to the
# prefix, sorted; the library directory is the argument.
runtime_files() { echo "$1/libTrelvo_aarch64.so"; }
development_files() {
    printf '%s\n' include/trelvo/Trelvo.h \
        "$1"/cmake/Trelvo/Trelvo{Config,ConfigVersion,Targets-relwithdebinfo,Targets}.cmake \
        "$1/pkgconfig/trelvo.pc"
}
