#!/usr/bin/env bash
# `make dist`: the release archives, in dist/.
#
#   pidrm-<version>-linux-x86_64.tar.gz     bin/pidrm, share/doc/pidrm/README.md
#   pidrm_<version>_amd64.deb               /usr/bin/pidrm, /usr/share/doc/pidrm/README.md
#   pidrm-<version>-linux-aarch64.tar.gz    bin/pidrm, share/doc/pidrm/README.md
#   pidrm-<version>-windows-x86_64.zip      pidrm.exe, README.md
#   SHA256SUMS                              the archives' checksums
#
# Each archive's files sit in a folder named as the archive (cmake/packaging.cmake). The
# program in each is the portable one of the default options (no -march=native: on x86-64 it
# picks its SSE2 or AVX2 kernels at start), optimised, linked statically and stripped.
# Every target is configured anew and built from scratch in build-dist/<target>/ (its log in
# build-dist/<target>.build.log), without tests, and packed by CPack (TGZ, DEB and ZIP are
# built into cmake). Then each archive is unpacked and checked: exactly the files above, the
# README the source tree's, the Linux programs statically linked, the Windows program needing
# no DLL of the compiler's, the .deb's program the x86-64 tar.gz's, the .deb's fields.
#
# Needs Debian's g++ cmake make g++-aarch64-linux-gnu g++-mingw-w64-x86-64 file unzip; as root
# with apt-get it installs the missing ones, otherwise it names them and stops. JOBS: build
# jobs (default 2).
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
jobs=${JOBS:-2}
out=$top/build-dist
version=$(sed -n 's/^project(pidrm VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[[ -n "$version" ]] || { echo "dist: no version in CMakeLists.txt's project()" >&2; exit 1; }
# Flags from the environment would change the released program (-march=native, say).
unset CXXFLAGS CPPFLAGS LDFLAGS

tools/packages.sh g++ cmake make g++-aarch64-linux-gnu g++-mingw-w64-x86-64 file unzip

targets=(linux-x86_64 linux-aarch64 windows-x86_64)
declare -A toolchain=(
    [linux-x86_64]=""
    [linux-aarch64]="-DCMAKE_TOOLCHAIN_FILE=$top/cmake/aarch64-linux-gnu.cmake"
    [windows-x86_64]="-DCMAKE_TOOLCHAIN_FILE=$top/cmake/mingw-w64-x86_64.cmake"
)
declare -A generators=([linux-x86_64]="TGZ;DEB" [linux-aarch64]=TGZ [windows-x86_64]=ZIP)

rm -rf dist
mkdir -p dist "$out"
for t in "${targets[@]}"; do
    echo "dist: building $t"
    rm -rf "${out:?}/$t"
    # shellcheck disable=SC2086 # the toolchain option is a word or none
    cmake -S . -B "$out/$t" -DCMAKE_BUILD_TYPE=Release -DPIDRM_NATIVE=OFF -DPIDRM_TESTS=OFF \
        -DPIDRM_BENCH=OFF ${toolchain[$t]} >"$out/$t.configure.log" 2>&1 ||
        { cat "$out/$t.configure.log" >&2; exit 1; }
    cmake --build "$out/$t" -j "$jobs" >"$out/$t.build.log" 2>&1 || { cat "$out/$t.build.log" >&2; exit 1; }
    echo "dist: $t built, $(grep -c 'warning:' "$out/$t.build.log" || true) warning(s)"
    (cd "$out/$t" && cpack -G "${generators[$t]}" -B "$out/$t/packages") >"$out/$t.cpack.log" 2>&1 ||
        { cat "$out/$t.cpack.log" >&2; exit 1; }
    cp "$out/$t/packages/"*.{tar.gz,deb,zip} dist/ 2>/dev/null || true
done

# ---- Checks of the archives -----------------------------------------------------------
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
problems=0
problem() {
    echo "dist: $*" >&2
    problems=$((problems + 1))
}
# Archive $1's file list $2 (folders left out) must be the lines of $3, in any order.
same_list() {
    [[ "$(grep -v '/$' <<<"$2" | sort)" == "$(sort <<<"$3")" ]] || problem "$1 does not hold exactly: $3"
}
# The README in $1 must be the source tree's.
same_readme() {
    cmp -s "$1" README.md || problem "$1 is not README.md"
}
# Linux program $1 must be linked statically.
static_elf() {
    file -b "$1" | grep -Eq 'statically linked|static-pie linked' || problem "$1 is not linked statically: $(file -b "$1")"
}

for t in linux-x86_64 linux-aarch64; do
    name=pidrm-$version-$t
    archive=dist/$name.tar.gz
    [[ -f $archive ]] || { problem "no $archive"; continue; }
    same_list "$archive" "$(tar tzf "$archive")" "$name/bin/pidrm"$'\n'"$name/share/doc/pidrm/README.md"
    tar xzf "$archive" -C "$work"
    same_readme "$work/$name/share/doc/pidrm/README.md"
    static_elf "$work/$name/bin/pidrm"
done

deb=dist/pidrm_${version}_amd64.deb
if [[ -f $deb ]]; then
    same_list "$deb" "$(dpkg-deb -c "$deb" | awk '{ print $NF }')" "./usr/bin/pidrm"$'\n'"./usr/share/doc/pidrm/README.md"
    dpkg-deb -x "$deb" "$work/deb"
    same_readme "$work/deb/usr/share/doc/pidrm/README.md"
    cmp -s "$work/deb/usr/bin/pidrm" "$work/pidrm-$version-linux-x86_64/bin/pidrm" ||
        problem "$deb's /usr/bin/pidrm is not the x86-64 tar.gz's bin/pidrm"
    for field in "Package=pidrm" "Version=$version" "Architecture=amd64" "Section=math" \
        "Maintainer=pidrm developers"; do
        [[ "$(dpkg-deb -f "$deb" "${field%%=*}")" == "${field#*=}" ]] || problem "$deb: ${field%%=*} is not ${field#*=}"
    done
else
    problem "no $deb"
fi

name=pidrm-$version-windows-x86_64
zip=dist/$name.zip
if [[ -f $zip ]]; then
    same_list "$zip" "$(unzip -Z1 "$zip")" "$name/pidrm.exe"$'\n'"$name/README.md"
    unzip -q "$zip" -d "$work"
    same_readme "$work/$name/README.md"
    # Linked statically: the DLLs it loads are Windows' own, none of MinGW's C++ runtime.
    dlls=$(x86_64-w64-mingw32-objdump -p "$work/$name/pidrm.exe" | sed -n 's/.*DLL Name: //p' | tr '\n' ' ')
    if grep -Eiq 'libstdc|libgcc|libwinpthread' <<<"$dlls"; then problem "$zip's pidrm.exe needs $dlls"; fi
else
    problem "no $zip"
fi

(cd dist && sha256sum -- *.tar.gz *.deb *.zip >SHA256SUMS)
echo
for archive in dist/*.tar.gz dist/*.deb dist/*.zip; do
    printf '%-44s %9d bytes\n' "$archive" "$(stat -c %s "$archive")"
done
if [[ $problems -ne 0 ]]; then
    echo "dist: FAILED: $problems problem(s) with the archives" >&2
    exit 1
fi
echo "dist: archives checked: their files, static programs, the .deb's fields"
