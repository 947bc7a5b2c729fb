# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# shellcheck shell=bash
# Sourced by the scripts here: the source tree, messages, commands run at
# exit, and what runs a client, as CMake's files name it.
TRELVO_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly TRELVO_SOURCE_DIR

announce() { printf '\n==== %s\n' "$*"; }

die() { printf 'error: %s\n' "$*" >&2 && exit 1; }

# Commands run at exit, however the script ends, the last added first.
UNDO=()
on_exit() {
    UNDO=("$1" "${UNDO[@]}")
    # shellcheck disable=SC2154 # the loop's variable
    trap 'for undo in "${UNDO[@]}"; do eval "$undo" || true; done' EXIT
    trap 'exit 130' INT TERM HUP
}

# env, with the variables that steer the front end removed.
read -ra CLIENT_ENV <<<"env $(sed -n 's/^set(TRELVO_CLIENT_VARIABLES \(.*\))$/\1/p' \
    "$TRELVO_SOURCE_DIR/cmake/ClientVariables.cmake" | sed 's/[^ ]\+/-u &/g')"
((${#CLIENT_ENV[@]} > 1)) || die "no TRELVO_CLIENT_VARIABLES in cmake/ClientVariables.cmake"

# AARCH64_EMULATOR: what runs aarch64 programs here, as the cross toolchain says.
aarch64_emulator() {
    local script
    script=$(mktemp --suffix=.cmake)
    # shellcheck disable=SC2016 # CMake's variable
    printf 'include(%s)\nmessage("${CMAKE_CROSSCOMPILING_EMULATOR}")\n' \
        "$TRELVO_SOURCE_DIR/cmake/toolchain-aarch64.cmake" >"$script"
    read -ra AARCH64_EMULATOR <<<"$(cmake -P "$script" 2>&1 | tr ';' ' ')"
    rm -f "$script"
    [[ ${AARCH64_EMULATOR[0]:-} == qemu-* ]] || die "no emulator in cmake/toolchain-aarch64.cmake: ${AARCH64_EMULATOR[*]}"
}
