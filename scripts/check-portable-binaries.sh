#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Checks that every aarch64 ELF file in the directories or .tar.gz files given
# loads with any glibc from 2.17 on: it needs no glibc version above
# GLIBC_2.17, nor one that is no release's (GLIBC_PRIVATE, GLIBC_ABI_DT_RELR),
# as its symbols (objdump -T) and its version needs (readelf -V) name them,
# and no shared object but the C library's own (readelf -d). Prints each
# file's highest glibc version and what it needs; fails when any file breaks
# a rule or cannot be read, or when there is no file to check.
#
#   scripts/check-portable-binaries.sh dist/libtrelvo-1.0.0-linux-aarch64.tar.gz
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

readonly NEWEST_GLIBC=2.17
readonly C_LIBRARY_OBJECTS="libc.so.6 ld-linux-aarch64.so.1 libdl.so.2 libpthread.so.0"

# The GLIBC_ versions the file needs, one a line: those of the symbols it
# takes from others, and its version needs, which the loader checks and which
# also hold the needs that name no symbol. Fails when it cannot read either.
glibc_versions() {
    local symbols needs
    symbols=$(aarch64-linux-gnu-objdump -T "$1") && needs=$(readelf -V --wide "$1") || return 1
    {
        awk '/\*UND\*/' <<<"$symbols" | grep -o 'GLIBC_[A-Z0-9_.]*' || true
        sed -n "/^Version needs section/,/^$/ s/.* Name: \(GLIBC_[^ ]*\).*/\1/p" <<<"$needs"
    } | sort -uV
}

needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | xargs; }

# Prints the file's line of the table; fails if it breaks a rule.
check_binary() {
    local file=$1 name=$2 versions version newest objects object status=0
    versions=$(glibc_versions "$file") || {
        echo "error: cannot read the glibc versions that $name needs" >&2
        return 1
    }
    newest=$(grep -x 'GLIBC_[0-9.]*' <<<"$versions" | sed 's/^GLIBC_//' | tail -n 1 || true)
    objects=$(needed "$file")
    printf '%-64s GLIBC_%-6s %s\n' "$name" "${newest:-none}" "$objects"
    for version in $versions; do
        if [[ ! $version =~ ^GLIBC_[0-9.]+$ ]]; then
            echo "error: $name needs $version, not a numbered glibc version at or below GLIBC_$NEWEST_GLIBC" >&2
            status=1
        elif [[ $(printf '%s\n' "${version#GLIBC_}" "$NEWEST_GLIBC" | sort -V | tail -n 1) != "$NEWEST_GLIBC" ]]; then
            echo "error: $name needs $version, newer than GLIBC_$NEWEST_GLIBC" >&2
            status=1
        fi
    done
    for object in $objects; do
        if [[ " $C_LIBRARY_OBJECTS " != *" $object "* ]]; then
            echo "error: $name needs $object, which is not the C library's own" >&2
            status=1
        fi
    done
    return $status
}

is_aarch64_elf() { [[ $(readelf -h "$1" 2>/dev/null) =~ Machine:\ *AArch64 ]]; }

# Checks every aarch64 ELF file under the directory; names them relative to it.
check_tree() {
    local dir=$1 file count=0 status=0
    while IFS= read -r -d '' file; do
        is_aarch64_elf "$file" || continue
        count=$((count + 1))
        check_binary "$file" "${file#"$dir"/}" || status=1
    done < <(find "$dir" -type f -print0 | sort -z)
    ((count > 0)) || die "no aarch64 ELF file in $dir"
    return $status
}

(($# > 0)) || die "usage: $0 DIR|TARBALL..."
status=0
for item in "$@"; do
    announce "Portable binaries (at most GLIBC_$NEWEST_GLIBC, only the C library's objects): $item"
    if [[ -d $item ]]; then
        check_tree "$(realpath "$item")" || status=1
    else
        unpacked=$(mktemp -d)
        tar -C "$unpacked" -xzf "$item"
        check_tree "$unpacked" || status=1
        rm -rf "$unpacked"
    fi
done
exit $status
