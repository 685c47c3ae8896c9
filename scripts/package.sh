#!/usr/bin/env bash
# Builds the Debian package palvorin_<version>_amd64.deb in the build folder: the programs and
# their installation data under /opt/palvorin, start scripts for palvorin, palvorin-batch and
# zepdata in /usr/bin, the dependencies found by dpkg-shlibdeps. The build folder is the one
# the test script makes (build/, or PALVORIN_BUILD_DIR), reused as it stands.
#
#   ./scripts/package.sh           build the package and print its path
#   ./scripts/package.sh --check   build it and try it without installing it: lintian must find
#                                  no error in it, and from a copy unpacked in a temporary folder
#                                  a new installation (zepdata init) with the demo data loaded
#                                  into it must give an advance listing through palvorin-batch
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
check=0
if [ "${1:-}" = "--check" ]; then check=1; fi

tools=(dpkg-dev file)  # dpkg-shlibdeps, and the file type test CPack runs before it
if [ "$check" = 1 ]; then tools+=(lintian); fi
"$repo/scripts/deps.sh" "${tools[@]}"
build=${PALVORIN_BUILD_DIR:-$repo/build}
cmake -S "$repo" -B "$build" -DPALVORIN_WERROR=ON -DCMAKE_INSTALL_PREFIX=/opt/palvorin >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}"
deb=$(cd "$build" && cpack -G DEB | sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p')
if [ ! -f "$deb" ]; then
  echo "package: cpack made no package" >&2
  exit 1
fi
echo "package: $deb"
echo "  depends on: $(dpkg-deb -f "$deb" Depends)"
if [ "$check" = 0 ]; then exit 0; fi

echo "lintian:"
lintian --fail-on error "$deb" 2>&1 | sed 's/^/  /'

# The package unpacked into a temporary folder: nothing of the system is changed.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin
export PATH="$bin:$PATH"
unset ZEPROOT ZEPEXE ZEPTMP

zepdata init "$work/office" --name "FINQUES DEMO BARCELONA, S.L." | tee "$work/init.out"
start=$(tail -n 1 "$work/init.out")
case $start in
  "ZEPROOT="*" palvorin") ;;
  *) echo "package check: init printed no line that starts the module" >&2; exit 1 ;;
esac
if zepdata init "$work/office" --name "Again" 2>/dev/null; then
  echo "package check: init took a folder that holds an installation" >&2
  exit 1
fi

# The demo data, as mkdemo writes it into an installation of its own, carried over file by file
# as an office carries its data: dumped, then loaded into the new installation.
zepdata init "$work/demo" --name Demo >/dev/null
"$work/root/opt/palvorin/exe/mkdemo" "$work/demo" "$work/demo/tmp" >/dev/null
for dictionary in "$work"/root/opt/palvorin/ddf/*.xdf; do
  file=$(basename "$dictionary" .xdf)
  if [ "$file" = hresrebu ]; then continue; fi  # the module's scratch file, not data
  ZEPROOT=$work/demo/ zepdata dump "$work/demo/DADES/$file" |
    ZEPROOT=$work/office/ zepdata load "$work/office/DADES/$file" >/dev/null
done
cp "$work/demo/DADES/HParam.tab" "$work/office/DADES/HParam.tab"

# The operator's listings go to a PDF; the first start adds the rest of the session files.
operator=$work/office/tmp/$(id -un)
mkdir -p "$operator"
printf '[Sistema]\r\nSortida=%s\r\n' "$work/advance.pdf" > "$operator/KoraTerm.ini"
if ! eval "${start%palvorin}palvorin-batch --mode A --date 1/3/2025" 2> "$work/batch.log"; then
  tail -n 20 "$work/batch.log" >&2
  echo "package check: palvorin-batch --mode A failed on the new installation" >&2
  exit 1
fi
if ! head -c 4 "$work/advance.pdf" 2>/dev/null | grep -q '%PDF'; then
  echo "package check: the advance listing was not printed to $work/advance.pdf" >&2
  exit 1
fi
echo "package check: the new installation's advance listing, $(grep -a -m 1 'Rebuts llistats' "$work/batch.log" || true), printed to $work/advance.pdf"
