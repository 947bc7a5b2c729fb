#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Checks that every aarch64 ELF file in the directories or .tar.gz files given
# loads with any glibc from 2.17 on: it needs no glibc symbol version above
# GLIBC_2.17 (objdump -T) and no shared object but the C library's own
# (readelf -d). Prints each file's highest glibc version and what it needs;
# fails when any file breaks either rule, or when there is no file to check.
#
#   scripts/check-portable-binaries.sh dist/libtrelvo-1.0.0-linux-aarch64.tar.gz
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

readonly NEWEST_GLIBC=2.17
readonly C_LIBRARY_OBJECTS="libc.so.6 ld-linux-aarch64.so.1 libdl.so.2 libpthread.so.0"

# The highest GLIBC_ version among the symbols the file takes from others.
newest_glibc() {
    aarch64-linux-gnu-objdump -T "$1" | awk '/\*UND\*/' |
        grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/^GLIBC_//' | sort -uV | tail -n 1
}

needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | xargs; }

# Prints the file's line of the table; fails if it breaks a rule.
check_binary() {
    local file=$1 name=$2 glibc objects object status=0
    glibc=$(newest_glibc "$file")
    objects=$(needed "$file")
    printf '%-64s GLIBC_%-6s %s\n' "$name" "${glibc:-none}" "$objects"
    if [[ -n $glibc && $(printf '%s\n' "$glibc" "$NEWEST_GLIBC" | sort -V | tail -n 1) != "$NEWEST_GLIBC" ]]; then
        echo "error: $name needs GLIBC_$glibc, newer than GLIBC_$NEWEST_GLIBC" >&2
        status=1
    fi
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
