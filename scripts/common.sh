# Shared by the scripts in this folder (sourced, not run): where build trees
# go, how a preset is configured and built, and how steps are announced.

TRELVO_SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly TRELVO_SOURCE_DIR
# The presets are found from the top of the tree.
cd "$TRELVO_SOURCE_DIR"

# The aarch64 programs run under the emulator the toolchain file names.
readonly AARCH64_EMULATOR=(qemu-aarch64 -L /usr/aarch64-linux-gnu)

announce() { printf '\n==== %s\n' "$*"; }

die() {
    printf 'error: %s\n' "$*" >&2
    exit 1
}

# The build tree of a preset, as the presets' binaryDir places it.
build_dir() { echo "$TRELVO_SOURCE_DIR/build/$1"; }

# Configures and builds a preset, all targets or only the ones named. In CI
# warnings are errors, as the presets say; elsewhere they are shown but do not
# stop a build made with a different compiler release.
build_preset() {
    local preset=$1
    shift
    local options=() targets=()
    [[ ${CI:-} == true ]] || options+=(-DTRELVO_WARNINGS_AS_ERRORS=OFF)
    (($# == 0)) || targets=(--target "$@")
    announce "Configuring and building preset '$preset' in $(build_dir "$preset")"
    cmake --preset "$preset" "${options[@]}"
    cmake --build --preset "$preset" -j "$(nproc)" "${targets[@]}"
}

require_emulator() {
    command -v "${AARCH64_EMULATOR[0]}" >/dev/null ||
        die "${AARCH64_EMULATOR[0]} not found: aarch64 programs cannot run here (scripts/install-deps.sh installs qemu-user)"
}
