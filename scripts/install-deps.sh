#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Installs what debian/control's Build-Depends list for the build profiles
# given (default: all the scripts need); nothing when all is there.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

profiles=${*:-pkg.libtrelvo.presets pkg.libtrelvo.ci pkg.libtrelvo.packages}
profiles=${profiles// /,}
if command -v dpkg-checkbuilddeps >/dev/null && dpkg-checkbuilddeps -P "$profiles" 2>/dev/null; then
    exit
fi
sudo=() && ((EUID == 0)) || sudo=(sudo)
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get build-dep -y --no-install-recommends -P "$profiles" ./
