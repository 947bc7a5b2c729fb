#!/usr/bin/env bash
# Checks the installed tree: builds a preset without its tests, installs it
# into a temporary prefix (each component on its own, then all of them with
# the sample implementation), builds the consumers of tests/install against
# that prefix, a C one through pkg-config and a C++ one through
# find_package(Trelvo), and runs them through the installed front end.
#
# Usage: scripts/check-install.sh [native|aarch64]...   (default: both)
# Exits non-zero at the first problem.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"

readonly IMPLEMENTATION=libVeltApi_aarch64.so
readonly FRONT_END=libTrelvo_aarch64.so

WORK=$(mktemp -d "${TMPDIR:-/tmp}/trelvo-check-install.XXXXXX")
readonly WORK
trap 'rm -rf "$WORK"' EXIT

expect_files() { expect_lines "files below $1" "$(list_files "$1")" "$2"; }

# Each component installs its own files and nothing else.
check_components() {
    local build=$1 libdir=$2
    announce "Components"
    cmake --install "$build" --prefix "$WORK/runtime" --component runtime >/dev/null
    expect_files "$WORK/runtime" "$(runtime_files "$libdir")"
    cmake --install "$build" --prefix "$WORK/development" --component development >/dev/null
    expect_files "$WORK/development" "$(development_files "$libdir")"
    cmake --install "$build" --prefix "$WORK/sample" --component sample >/dev/null
    expect_files "$WORK/sample" "$libdir/$IMPLEMENTATION"
    echo "runtime, development and sample install their own files"
}

# Runs a consumer, which checks that the front end chose the implementation
# named, in an environment of its own: a home and a current directory that
# hold nothing, and of the variables that steer the front end only those given
# (VAR=value...).
run_consumer() {
    local preset=$1 consumer=$2 implementation=$3
    shift 3
    local runner=()
    [[ $preset != aarch64 ]] || runner=("${AARCH64_EMULATOR[@]}")
    mkdir -p "$WORK/home" "$WORK/run"
    (cd "$WORK/run" &&
        env -i PATH="$PATH" HOME="$WORK/home" "$@" "${runner[@]}" "$consumer" "$implementation")
}

build_c_consumer() {
    local preset=$1 prefix=$2 libdir=$3 compiler=cc
    [[ $preset != aarch64 ]] || compiler=aarch64-linux-gnu-gcc
    announce "C consumer through pkg-config"
    local pkgconfig=(env PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig" pkg-config)
    local cflags libs pcLibdir
    cflags=$("${pkgconfig[@]}" --cflags trelvo)
    libs=$("${pkgconfig[@]}" --libs trelvo)
    pcLibdir=$("${pkgconfig[@]}" --variable=libdir trelvo)
    [[ $pcLibdir == "$prefix/$libdir" ]] || die "trelvo.pc names libdir $pcLibdir, expected $prefix/$libdir"
    echo "cflags: $cflags"
    echo "libs:   $libs"
    # shellcheck disable=SC2086 # the flags are words
    "$compiler" -std=c99 -Wall -Wextra -Werror -pedantic $cflags \
        "$TRELVO_SOURCE_DIR/tests/install/consumer.c" -o "$WORK/c-consumer" \
        $libs -Wl,-rpath,"$pcLibdir"
}

build_cxx_consumer() {
    local preset=$1 prefix=$2 libdir=$3
    announce "C++ consumer through find_package(Trelvo)"
    local options=(-DCMAKE_PREFIX_PATH="$prefix")
    # The cross toolchain confines package searches to its sysroot.
    [[ $preset != aarch64 ]] || options=(
        -DCMAKE_TOOLCHAIN_FILE="$TRELVO_SOURCE_DIR/cmake/toolchain-aarch64.cmake"
        -DTrelvo_DIR="$prefix/$libdir/cmake/Trelvo")
    cmake -S "$TRELVO_SOURCE_DIR/tests/install" -B "$WORK/cxx-consumer" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
    cmake --build "$WORK/cxx-consumer"
}

# Debug log on: the installed library logs beside itself.
check_log() {
    local log=$1 implementation=$2
    local stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},[0-9]{3}'
    grep -Eqx "$stamp Using VELT API from \"$implementation\"" "$log" ||
        die "$log lacks the line naming $implementation:"$'\n'"$(cat "$log")"
    echo "$log names $implementation"
}

check_preset() {
    local preset=$1
    local build=$WORK/build prefix=$WORK/prefix
    rm -rf "${WORK:?}"/*
    [[ $preset != aarch64 ]] || require_emulator

    announce "Preset '$preset': configure, build and install into $prefix"
    (cd "$TRELVO_SOURCE_DIR" && cmake --preset "$preset" -B "$build" -DTRELVO_BUILD_TESTS=OFF >/dev/null)
    cmake --build "$build" -j "$(nproc)"
    local libdir
    libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
    check_components "$build" "$libdir"
    cmake --install "$build" --prefix "$prefix"
    cmake --install "$build" --prefix "$prefix" --component sample
    expect_runpath "$prefix/$libdir/$FRONT_END"

    build_c_consumer "$preset" "$prefix" "$libdir"
    build_cxx_consumer "$preset" "$prefix" "$libdir"

    local installed=$prefix/$libdir
    expect_machine "$preset" "$installed/$FRONT_END" "$installed/$IMPLEMENTATION" \
        "$WORK/c-consumer" "$WORK/cxx-consumer/trelvo-consumer"
    announce "Run: the implementation beside the installed front end"
    run_consumer "$preset" "$WORK/c-consumer" "$installed/$IMPLEMENTATION"
    run_consumer "$preset" "$WORK/cxx-consumer/trelvo-consumer" "$installed/$IMPLEMENTATION"

    announce "Run: Trelvo.conf beside the installed front end names another directory"
    mkdir -p "$WORK/elsewhere"
    cp "$installed/$IMPLEMENTATION" "$WORK/elsewhere/"
    printf 'veltapipath = %s\nignoredefaultsearch = true\n' "$WORK/elsewhere" >"$installed/Trelvo.conf"
    run_consumer "$preset" "$WORK/c-consumer" "$WORK/elsewhere/$IMPLEMENTATION" TRELVODEBUG=1
    check_log "$installed/Trelvo.log" "$WORK/elsewhere/$IMPLEMENTATION"
    rm "$installed/Trelvo.conf" "$installed/Trelvo.log"
}

main() {
    local presets=("$@")
    ((${#presets[@]} > 0)) || presets=(native aarch64)
    require_commands pkg-config pkgconf readelf binutils
    local preset
    for preset in "${presets[@]}"; do
        case $preset in
        native | aarch64) check_preset "$preset" ;;
        *) die "unknown preset '$preset' (native or aarch64)" ;;
        esac
    done
    announce "Installed tree checked: ${presets[*]}"
}

main "$@"
