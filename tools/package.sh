#!/usr/bin/env bash
# Makes the release package: both builds (64-bit and 32-bit) made from clean
# build folders with the release flags and stripped, the shipped toons, and
# a README.txt for Windows users, in dist/Pimbo95-<version>.zip; and the
# setup program that installs them, dist/Pimbo95-<version>-setup.exe.
#
#   tools/package.sh [--out DIR]     # DIR instead of dist/
#                    [--amd64-setup] # also the same setup as a 64-bit program,
#                                    # Pimbo95-<version>-setup-amd64.exe, which
#                                    # the tests can run (the shipped one is 32-bit)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

out=$root/dist
amd64_setup=0
while [ $# -gt 0 ]; do
    case $1 in
        --out) out=$(realpath -m "$2"); shift 2 ;;
        --amd64-setup) amd64_setup=1; shift ;;
        *) echo "usage: tools/package.sh [--out DIR] [--amd64-setup]" >&2; exit 2 ;;
    esac
done

tools/install-deps.sh

# The one version of the program: the project line of CMakeLists.txt.
version=$(sed -n 's/^project(Pimbo95 VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version on the project line of CMakeLists.txt" >&2; exit 2; }

work=$(mktemp -d /tmp/pimbo-package.XXXXXX)
trap 'rm -rf "$work"' EXIT

build() {   # build ARCH: ARCH is x86_64 or i686
    local arch=$1 dir=$work/build-$1
    cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DPIMBO_WERROR=ON -DPIMBO_TESTS=OFF -DPIMBO_BENCH=OFF >/dev/null
    cmake --build "$dir" -j"$(nproc)" --target Pimbo95 >/dev/null
    "$arch-w64-mingw32-strip" -o "$2" "$dir/Pimbo95.scr"
}

stage=$work/Pimbo95-$version
mkdir -p "$stage/x86" "$stage/toons"
build x86_64 "$stage/Pimbo95.scr"
build i686 "$stage/x86/Pimbo95.scr"
cp toons/*.ptf toons/*.wav "$stage/toons/"
# Windows line endings, and the version filled in.
sed -e "s/@VERSION@/$version/g" -e 's/\r$//' -e 's/$/\r/' tools/package-readme.txt > "$stage/README.txt"

mkdir -p "$out"
zip=$out/Pimbo95-$version.zip
rm -f "$zip"
python3 - "$stage" "$zip" <<'PY'
import os, sys, zipfile
stage, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
    for folder, dirs, files in os.walk(stage):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            archive.write(path, os.path.relpath(path, stage))
PY
echo "$zip"

setup() {   # setup FILE [-DAMD64]
    makensis -V2 -WX -DVERSION="$version" -DSTAGE="$stage" -DSOURCE="$root" -DOUTFILE="$1" \
             "${@:2}" tools/setup.nsi >/dev/null
    echo "$1"
}
setup "$out/Pimbo95-$version-setup.exe"
[ "$amd64_setup" = 0 ] || setup "$out/Pimbo95-$version-setup-amd64.exe" -DAMD64
