#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Builds the Debian packages libtrelvo, libtrelvo-dev and trelvo-doctor with cpack in
# build trees of the presets, native (amd64) and aarch64 (arm64), and checks them:
# lintian reports no error and no warning (nor a binary of another architecture), the
# front end has RUNPATH $ORIGIN, and each package depends alike on both
# architectures (the cross build states what dpkg-shlibdeps finds natively). With
# --output DIR the packages are kept in DIR, the sample implementation in DIR/sample-<arch>.
#
#   scripts/check-packages.sh [--output DIR] [native|aarch64]...   (default: both)
set -euo pipefail
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"
make_work_dir check-packages
declare -A DEPENDS=()  # of each package, as first seen

package_preset() {
    local preset=$1 build=$WORK/$1/build packages=$WORK/$1/packages architecture=amd64 package name depends
    [[ $preset == native ]] || architecture=arm64
    build_preset_into "$preset" "$build"
    cpack --config "$build/CPackConfig.cmake" -B "$packages"
    announce "Packages for $architecture"
    expect_lines "packages in $packages" "$(cd "$packages" && printf '%s\n' *.deb | LC_ALL=C sort | sed 's/_.*_/ /')" \
        "$(printf '%s '"$architecture"'.deb\n' libtrelvo-dev libtrelvo trelvo-doctor)"
    for package in "$packages"/*.deb; do
        dpkg-deb -f "$package" Package Version Architecture Multi-Arch Depends
        name=$(dpkg-deb -f "$package" Package) depends=$(dpkg-deb -f "$package" Depends)
        expect_lines "Depends of $name" "$depends" "${DEPENDS[$name]:=$depends}"
    done
    lintian --fail-on error,warning "$packages"/*.deb
    dpkg-deb -x "$packages"/libtrelvo_*.deb "$WORK/$preset/extracted"
    expect_runpath "$WORK/$preset/extracted"/usr/lib/*/libTrelvo_aarch64.so
    [[ -z $OUTPUT ]] || cp "$packages"/*.deb "$OUTPUT/"
    [[ -z $OUTPUT ]] || cmake --install "$build" --component sample --prefix "$OUTPUT/sample-$architecture"
}

OUTPUT=
if [[ ${1:-} == --output ]]; then
    (($# > 1)) || die "--output needs a directory"
    OUTPUT=$(realpath -m "$2")
    mkdir -p "$OUTPUT"
    shift 2
fi
"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
for_each_preset package_preset "$@"
