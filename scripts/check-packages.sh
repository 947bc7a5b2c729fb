#!/usr/bin/env bash
# Builds the Debian packages, libtrelvo and libtrelvo-dev, for amd64 from the
# native preset and for arm64 from the aarch64 cross build, and checks their
# control fields (dpkg-deb -I) and contents (dpkg-deb -c). Exits non-zero at
# the first mismatch; with --output DIR the packages are kept in DIR.
#
#   scripts/check-packages.sh [--output DIR] [native|aarch64]...   (default: both)
set -euo pipefail
# shellcheck source=artifact-checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/artifact-checks.sh"
make_work_dir check-packages

# Depends of the first library package checked, as dpkg-shlibdeps found them.
FIRST_DEPENDS=

architecture_of() { [[ $1 == aarch64 ]] && echo arm64 || echo amd64; }
triplet_of() { [[ $1 == aarch64 ]] && echo aarch64-linux-gnu || echo x86_64-linux-gnu; }
field() { dpkg-deb -f "$1" "$2"; }

# Exits unless each control field has the value given (Name=value...).
expect_fields() {
    local package=$1 pair
    for pair in "${@:2}"; do
        expect_lines "$(basename "$package"): ${pair%%=*}" "$(field "$package" "${pair%%=*}")" "${pair#*=}"
    done
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
# newest symbol version the front end uses; both architectures depend alike.
check_depends() {
    local package=$1 library=$2 depends needed newest stated
    depends=$(field "$package" Depends)
    for needed in $(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends" | grep -Fqx "$(package_of_needed "$needed")" ||
            die "$(basename "$package"): Depends '$depends' lacks the package of $needed"
    done
    newest=$(readelf --dyn-syms -W "$library" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -n1)
    stated=$(sed -n 's/.*libc6 (>= \([0-9.]*\)).*/\1/p' <<<"$depends")
    dpkg --compare-versions "${stated:-0}" ge "$newest" ||
        die "$(basename "$package"): libc6 (>= ${stated:-none}) but the library needs GLIBC_$newest"
    [[ $depends == "${FIRST_DEPENDS:=$depends}" ]] ||
        die "$(basename "$package"): Depends '$depends' differ from the first ones '$FIRST_DEPENDS'"
    echo "Depends: $depends (needs GLIBC_$newest)"
}

# What every package has: name, architecture, version, section, maintainer,
# description; entries owned by root, and exactly the files of its component.
check_package() {
    local preset=$1 package=$2 version=$3 name=$4 section=$5 files=$6 listing
    announce "$(basename "$package")"
    dpkg-deb -I "$package"
    expect_fields "$package" Package="$name" Architecture="$(architecture_of "$preset")" \
        Version="$version" Section="$section"
    [[ -n $(field "$package" Maintainer) && -n $(field "$package" Description) ]] ||
        die "$(basename "$package"): no Maintainer or no Description"
    listing=$(dpkg-deb -c "$package")
    echo "$listing"
    ! awk '$2 != "root/root"' <<<"$listing" | grep -q . ||
        die "$(basename "$package"): entries not owned by root/root"
    expect_lines "regular files in $(basename "$package")" \
        "$(awk '/^-/ { sub(/^\.\/usr\//, "", $6); print $6 }' <<<"$listing" | LC_ALL=C sort)" "$files"
    dpkg-deb -x "$package" "$WORK/$preset/extracted"
}

check_runtime_package() {
    local preset=$1 package=$2 version=$3 triplet=$4 library
    check_package "$preset" "$package" "$version" libtrelvo libs "$(runtime_files "lib/$triplet")"
    expect_lines "triggers of $(basename "$package")" "$(dpkg-deb -I "$package" triggers)" \
        "activate-noawait ldconfig"
    library=$WORK/$preset/extracted/usr/lib/$triplet/libTrelvo_aarch64.so
    expect_machine "$preset" "$library"
    expect_runpath "$library"
    check_depends "$package" "$library"
}

check_development_package() {
    local preset=$1 package=$2 version=$3 triplet=$4
    check_package "$preset" "$package" "$version" libtrelvo-dev libdevel \
        "$(development_files "lib/$triplet")"
    expect_fields "$package" Depends="libtrelvo (= $version)"
    expect_lines "prefix and libdir of trelvo.pc" \
        "$(grep -E '^(prefix|libdir)=' "$WORK/$preset/extracted/usr/lib/$triplet/pkgconfig/trelvo.pc")" \
        "prefix=/usr"$'\n'"libdir=\${prefix}/lib/$triplet"
}

package_preset() {
    local preset=$1 build=$WORK/$1/build packages=$WORK/$1/packages triplet
    triplet=$(triplet_of "$preset")
    # GNUInstallDirs picks the multiarch directory only for native builds.
    build_preset_into "$preset" "$build" -DTRELVO_BUILD_EXAMPLES=OFF -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_INSTALL_LIBDIR="lib/$triplet"
    cpack --config "$build/CPackConfig.cmake" -B "$packages"

    # Exactly the two packages, named for the version, a release of the project's.
    local architecture version projectVersion
    architecture=$(architecture_of "$preset")
    version=$(field "$(compgen -G "$packages/libtrelvo_*.deb" | head -n1)" Version)
    projectVersion=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
    [[ $version == "$projectVersion"-* ]] ||
        die "package version $version is not a release of the project version $projectVersion"
    local runtime=libtrelvo_${version}_$architecture.deb
    local development=libtrelvo-dev_${version}_$architecture.deb
    expect_lines "packages in $packages" \
        "$(cd "$packages" && LC_ALL=C ls -- *.deb)" "$development"$'\n'"$runtime"
    check_runtime_package "$preset" "$packages/$runtime" "$version" "$triplet"
    check_development_package "$preset" "$packages/$development" "$version" "$triplet"
    [[ -z $OUTPUT ]] || cp "$packages/$runtime" "$packages/$development" "$OUTPUT/"
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
