#!/usr/bin/env bash
# Builds the last commit twice with the native preset, from clones in two
# directories of different names, and fails unless the stripped front ends
# and the Debian packages of the two builds are byte-identical.
#
#   scripts/check-reproducible.sh
set -euo pipefail
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"
make_work_dir check-reproducible

# Builds a clone in $WORK/<name>; leaves what is compared in $WORK/<name>/out.
build_clone() {
    local clone=$WORK/$1/libtrelvo out=$WORK/$1/out
    announce "Build in $clone"
    git clone --quiet "$TRELVO_SOURCE_DIR" "$clone"
    (cd "$clone" && cmake --preset native -B build -DTRELVO_BUILD_TESTS=OFF >/dev/null)
    cmake --build "$clone/build" >/dev/null
    cpack --config "$clone/build/CPackConfig.cmake" -B "$out" >/dev/null
    rm -rf "$out/_CPack_Packages"
    strip -o "$out/libTrelvo_aarch64.so" "$clone/build/libTrelvo_aarch64.so"
}

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
build_clone first
build_clone second-build
diff -r "$WORK/first/out" "$WORK/second-build/out" ||
    die "two builds of $(git -C "$TRELVO_SOURCE_DIR" rev-parse --short HEAD) differ"
announce "Reproducible: $(cd "$WORK/first/out" && echo *)"
