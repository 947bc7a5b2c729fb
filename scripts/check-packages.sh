#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The Debian packages, built natively and for arm64 in a fresh root where they
# are checked, installed and built against; then their autopkgtest. As root.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
readonly ROOT=$TRELVO_SOURCE_DIR/scripts/debian-root.sh OUT=$TRELVO_SOURCE_DIR/build/packages IDS=root:1000000:65536

# In the root, from a clone of the commit.
build_and_check() {
    local arch options report
    export DEBIAN_FRONTEND=noninteractive DEB_BUILD_OPTIONS=parallel=2
    scripts/install-deps.sh pkg.libtrelvo.packages >/dev/null
    for arch in amd64 arm64; do
        options=()
        [[ $arch == amd64 ]] || options=(-a arm64 "-Pcross,nocheck")
        apt-get build-dep -y -qq --no-install-recommends "${options[@]}" ./ >/dev/null
        dpkg-buildpackage -us -uc -b "${options[@]}"
        # Silent but for its notice that it runs as root.
        report=$(lintian --fail-on error,warning ../libtrelvo_*_"$arch".changes 2>&1) || { echo "$report" && return 1; }
        grep -vx 'running with root privileges is not recommended!' <<<"$report" && return 1
    done
    apt-get install -y -qq ../{libtrelvo,libtrelvo-dev,trelvo-doctor}_*_amd64.deb ../libtrelvo{,-dev}_*_arm64.deb >/dev/null
    mkdir -p /tmp/amd64 /tmp/arm64 /tmp/shlibdeps/debian && touch /tmp/shlibdeps/debian/control
    AUTOPKGTEST_TMP=/tmp/amd64 debian/tests/consumers
    AUTOPKGTEST_TMP=/tmp/arm64 TRELVO_TRIPLET=aarch64-linux-gnu debian/tests/consumers
    (cd /tmp/shlibdeps && dpkg-shlibdeps -O -e /tmp/amd64/c-consumer) | grep -E 'libtrelvo \(>= [0-9]'
    man -P cat trelvo-doctor | grep '^EXIT STATUS'
    cp ../*.deb ../*.changes /packages/
}

"$TRELVO_SOURCE_DIR/scripts/install-deps.sh"
rm -rf "$OUT" && mkdir -p "$OUT/source"
commit=$(git -C "$TRELVO_SOURCE_DIR" rev-parse HEAD)
announce "The packages of $commit, built and checked in a fresh Debian 12 amd64+arm64 root"
"$ROOT" run "$("$ROOT" tarball bookworm amd64,arm64)" --bind "$OUT:/packages" \
    --bind "$(git -C "$TRELVO_SOURCE_DIR" rev-parse --path-format=absolute --git-common-dir):/source.git" -- \
    bash -euo pipefail -c "$(declare -f build_and_check)
        git clone --quiet /source.git /build && cd /build && git checkout --quiet --detach $commit
        build_and_check"

announce "autopkgtest of the amd64 packages in a fresh Debian 12 root"
for file in /etc/subuid /etc/subgid; do
    grep -q '^root:' "$file" || { echo "$IDS" >>"$file" && on_exit "sed -i '/^$IDS\$/d' $file"; }
done
git -C "$TRELVO_SOURCE_DIR" archive "$commit" | tar -x -C "$OUT/source"
# -U: the root's package lists are gone, as mmdebstrap leaves them.
autopkgtest -U "$OUT/source" "$OUT"/{libtrelvo,libtrelvo-dev,trelvo-doctor}_*_amd64.deb -- \
    unshare -t "$("$ROOT" tarball bookworm amd64)"
