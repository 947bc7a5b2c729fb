#!/usr/bin/env bash
# Builds the Debian packages, libtrelvo and libtrelvo-dev, for amd64 from the
# native preset and for arm64 from the aarch64 cross build, and checks their
# control fields (dpkg-deb -I) and contents (dpkg-deb -c).
#
# Usage: scripts/check-packages.sh [--output DIR] [native|aarch64]...
#   (default: both presets; with --output the packages are kept in DIR)
# Exits non-zero at the first mismatch.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/trelvo-check-packages.XXXXXX")
readonly WORK
trap 'rm -rf "$WORK"' EXIT

# Depends of the amd64 library package, as dpkg-shlibdeps found them.
NATIVE_DEPENDS=

architecture_of() { [[ $1 == aarch64 ]] && echo arm64 || echo amd64; }
triplet_of() { [[ $1 == aarch64 ]] && echo aarch64-linux-gnu || echo x86_64-linux-gnu; }

field() { dpkg-deb -f "$1" "$2"; }

expect_field() {
    local package=$1 name=$2 wanted=$3 value
    value=$(field "$package" "$name")
    [[ $value == "$wanted" ]] || die "$(basename "$package"): $name is '$value', expected '$wanted'"
}

expect_nonempty_field() {
    [[ -n $(field "$1" "$2") ]] || die "$(basename "$1"): no $2"
}

# Every entry belongs to root, and the regular files are exactly the ones
# the component installs below /usr.
expect_contents() {
    local package=$1 expected=$2 listing
    listing=$(dpkg-deb -c "$package")
    echo "$listing"
    if awk '$2 != "root/root"' <<<"$listing" | grep -q .; then
        die "$(basename "$package"): entries not owned by root/root"
    fi
    expect_lines "regular files in $(basename "$package")" \
        "$(awk '/^-/ { sub(/^\.\/usr\//, "", $6); print $6 }' <<<"$listing" | LC_ALL=C sort)" \
        "$expected"
}

# The package for the library each NEEDED entry names.
package_of_needed() {
    case $1 in
    libc.so.6 | ld-linux-*.so.*) echo libc6 ;;
    libstdc++.so.6) echo libstdc++6 ;;
    libgcc_s.so.1) echo libgcc-s1 ;;
    *) die "no package known for the needed library $1" ;;
    esac
}

# Each library the front end needs is depended on, libc6 at least in the
# newest symbol version the front end uses.
check_depends() {
    local package=$1 library=$2 depends names needed
    depends=$(field "$package" Depends)
    names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
    for needed in $(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        grep -Fqx "$(package_of_needed "$needed")" <<<"$names" ||
            die "$(basename "$package"): Depends '$depends' lacks the package of $needed"
    done
    local newest stated
    newest=$(readelf --dyn-syms -W "$library" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -n1)
    stated=$(sed -n 's/.*libc6 (>= \([0-9.]*\)).*/\1/p' <<<"$depends")
    dpkg --compare-versions "${stated:-0}" ge "$newest" ||
        die "$(basename "$package"): libc6 (>= ${stated:-none}) but the library needs GLIBC_$newest"
    echo "Depends: $depends (needs GLIBC_$newest)"
}

# The fields and contents every package has: name, architecture, version,
# section, maintainer, description, and exactly the files of its component.
check_package() {
    local preset=$1 package=$2 version=$3 name=$4 section=$5 files=$6
    announce "$(basename "$package")"
    dpkg-deb -I "$package"
    expect_field "$package" Package "$name"
    expect_field "$package" Architecture "$(architecture_of "$preset")"
    expect_field "$package" Version "$version"
    expect_field "$package" Section "$section"
    expect_nonempty_field "$package" Maintainer
    expect_nonempty_field "$package" Description
    expect_contents "$package" "$files"
}

check_runtime_package() {
    local preset=$1 package=$2 version=$3 triplet
    triplet=$(triplet_of "$preset")
    check_package "$preset" "$package" "$version" libtrelvo libs "$(runtime_files "lib/$triplet")"
    expect_lines "triggers of $(basename "$package")" "$(dpkg-deb -I "$package" triggers)" \
        "activate-noawait ldconfig"

    local root=$WORK/$preset/extracted
    dpkg-deb -x "$package" "$root"
    local library=$root/usr/lib/$triplet/libTrelvo_aarch64.so
    expect_machine "$preset" "$library"
    expect_runpath "$library"
    check_depends "$package" "$library"
    local depends
    depends=$(field "$package" Depends)
    if [[ $preset == native ]]; then
        NATIVE_DEPENDS=$depends
    elif [[ -n $NATIVE_DEPENDS && $depends != "$NATIVE_DEPENDS" ]]; then
        die "arm64 Depends '$depends' differ from the amd64 ones '$NATIVE_DEPENDS'"
    fi
    echo "$(basename "$package"): RUNPATH \$ORIGIN"
}

check_development_package() {
    local preset=$1 package=$2 version=$3 triplet
    triplet=$(triplet_of "$preset")
    check_package "$preset" "$package" "$version" libtrelvo-dev libdevel \
        "$(development_files "lib/$triplet")"
    expect_field "$package" Depends "libtrelvo (= $version)"

    local root=$WORK/$preset/extracted
    dpkg-deb -x "$package" "$root"
    expect_lines "prefix and libdir of trelvo.pc" \
        "$(grep -E '^(prefix|libdir)=' "$root/usr/lib/$triplet/pkgconfig/trelvo.pc")" \
        "prefix=/usr"$'\n'"libdir=\${prefix}/lib/$triplet"
    echo "$(basename "$package"): header, trelvo.pc and the CMake package below /usr"
}

package_preset() {
    local preset=$1 output=$2
    local build=$WORK/$preset/build packages=$WORK/$preset/packages
    local options=(-DTRELVO_BUILD_TESTS=OFF -DTRELVO_BUILD_EXAMPLES=OFF -DCMAKE_INSTALL_PREFIX=/usr)
    # GNUInstallDirs picks the multiarch directory only for native builds.
    [[ $preset != aarch64 ]] || options+=(-DCMAKE_INSTALL_LIBDIR="lib/$(triplet_of "$preset")")
    announce "Preset '$preset': build and package"
    (cd "$TRELVO_SOURCE_DIR" && cmake --preset "$preset" -B "$build" "${options[@]}" >/dev/null)
    cmake --build "$build" -j "$(nproc)"
    cpack --config "$build/CPackConfig.cmake" -B "$packages"

    local architecture runtime development version
    architecture=$(architecture_of "$preset")
    mapfile -t runtime < <(compgen -G "$packages/libtrelvo_*_$architecture.deb")
    mapfile -t development < <(compgen -G "$packages/libtrelvo-dev_*_$architecture.deb")
    ((${#runtime[@]} == 1 && ${#development[@]} == 1)) ||
        die "expected one libtrelvo and one libtrelvo-dev package for $architecture in $packages:"$'\n'"$(ls "$packages")"
    version=$(field "${runtime[0]}" Version)
    local projectVersion
    projectVersion=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
    [[ $version == "$projectVersion"-* ]] ||
        die "package version $version is not a release of the project version $projectVersion"
    [[ $(basename "${runtime[0]}") == "libtrelvo_${version}_$architecture.deb" ]] ||
        die "$(basename "${runtime[0]}") does not carry the version $version"
    check_runtime_package "$preset" "${runtime[0]}" "$version"
    check_development_package "$preset" "${development[0]}" "$version"
    [[ -z $output ]] || cp "${runtime[0]}" "${development[0]}" "$output/"
}

main() {
    local output='' presets=()
    while (($# > 0)); do
        case $1 in
        --output)
            (($# > 1)) || die "--output needs a directory"
            output=$(realpath -m "$2")
            mkdir -p "$output"
            shift 2
            ;;
        native | aarch64)
            presets+=("$1")
            shift
            ;;
        *) die "unknown argument '$1' (--output DIR, native or aarch64)" ;;
        esac
    done
    ((${#presets[@]} > 0)) || presets=(native aarch64)
    require_commands cpack cmake dpkg-deb dpkg dpkg-shlibdeps dpkg-dev file file readelf binutils
    local preset
    for preset in "${presets[@]}"; do
        package_preset "$preset" "$output"
    done
    announce "Packages checked: ${presets[*]}${output:+, kept in $output}"
}

main "$@"
