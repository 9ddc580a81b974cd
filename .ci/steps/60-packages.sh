#!/usr/bin/env bash
# Install and packages: cmake --install into a scratch prefix, then the .deb and .tar.gz built
# with CPack, the .deb unpacked into a scratch root and its programs run on the bundled example.
set -euo pipefail
cmake --preset release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build --preset release
build=build/release
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
want=tests/scripts/demo-lA-DEBUG.out

fail() { echo "60-packages: $*" >&2; exit 1; }

# The example run by an installed velkrun must give the known output.
check_velkrun() {
  "$1" -lA DEBUG examples/demo.c >"$scratch/got" || fail "$1 failed on examples/demo.c"
  cmp -s "$want" "$scratch/got" || { diff -u "$want" "$scratch/got" >&2; fail "$1: wrong output"; }
}

# The installed velkrun-tree finds the velkrun beside it and rewrites a copy of the example.
check_tree() {
  mkdir -p "$scratch/tree"
  cp examples/demo.c "$scratch/tree/"
  env -u VELKRUN PATH=/usr/bin:/bin "$1" -lA DEBUG -- "$scratch/tree" >"$scratch/tree.out" ||
    fail "$1 failed"
  cmp -s "$want" "$scratch/tree/demo.c" || fail "$1 did not rewrite demo.c as expected"
  grep -q 'files seen 1, changed 1, unchanged 0, refused 0, failed 0' "$scratch/tree.out" ||
    fail "$1: unexpected summary: $(cat "$scratch/tree.out")"
  rm -rf "$scratch/tree"
}

# cmake --install
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/velkrun bin/velkrun-tree; do [ -x "$prefix/$f" ] || fail "cmake --install: no $f"; done
for f in share/man/man1/velkrun.1 share/man/man1/velkrun-tree.1; do
  [ -f "$prefix/$f" ] || fail "cmake --install: no $f"
  cmp -s "$prefix/$f" "doc/${f##*/}" || fail "cmake --install: $f differs from doc/"
done
check_velkrun "$prefix/bin/velkrun"
check_tree "$prefix/bin/velkrun-tree"
echo "cmake --install: ok"

# CPack: .deb and .tar.gz
pkgdir=$scratch/pkg
cpack --config "$build/CPackConfig.cmake" -B "$pkgdir" >/dev/null
debs=("$pkgdir"/velkrun_*.deb)
{ [ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ]; } || fail "no single velkrun_*.deb built"
deb=${debs[0]}
[ -n "$(dpkg-deb --field "$deb" Maintainer)" ] || fail "the .deb has no maintainer"
root=$scratch/root
dpkg-deb -x "$deb" "$root"
# velkrun is linked statically where the toolchain allows (it starts faster so); velkrun-tree is
# not. Any dynamically linked program must bring the C library's dependency, which
# dpkg-shlibdeps computes, and a .deb of static programs alone declares none.
if file -b "$root/usr/bin/velkrun" "$root/usr/bin/velkrun-tree" | grep -q 'dynamically linked'; then
  dpkg-deb --field "$deb" Depends | grep -q 'libc6' || fail "the .deb declares no libc6 dependency"
else
  deps=$(dpkg-deb --field "$deb" Depends)
  [ -z "$deps" ] || fail "the .deb of static programs depends on: $deps"
fi
for f in usr/bin/velkrun usr/bin/velkrun-tree; do [ -x "$root/$f" ] || fail ".deb: no $f"; done
for f in velkrun velkrun-tree; do
  page=$root/usr/share/man/man1/$f.1.gz
  [ -f "$page" ] || fail ".deb: no manual page $f.1.gz"
  zcat "$page" | cmp -s - "doc/$f.1" || fail ".deb: $f.1.gz differs from doc/$f.1"
done
check_velkrun "$root/usr/bin/velkrun"
check_tree "$root/usr/bin/velkrun-tree"
# apt-get resolves the dependencies of the local package without installing it.
apt-get install --simulate -qq "$deb" >/dev/null || fail "apt-get cannot install $deb"
echo "deb: ok ($(basename "$deb"), Depends: $(dpkg-deb --field "$deb" Depends || true))"

tgzs=("$pkgdir"/velkrun-*-Linux.tar.gz)
[ -f "${tgzs[0]}" ] || fail "no .tar.gz built"
mkdir -p "$scratch/tgz"
tar -xzf "${tgzs[0]}" -C "$scratch/tgz"
top=$(find "$scratch/tgz" -mindepth 1 -maxdepth 1 -type d)
[ -f "$top/share/man/man1/velkrun.1" ] || fail ".tar.gz: no share/man/man1/velkrun.1"
check_velkrun "$top/bin/velkrun"
check_tree "$top/bin/velkrun-tree"
echo "tar.gz: ok ($(basename "${tgzs[0]}"))"

# The .zip of the 32-bit Windows program.
cmake --preset mingw32 -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build --preset mingw32
cpack --config build/mingw32/CPackConfig.cmake -B "$pkgdir" -G ZIP >/dev/null
zips=("$pkgdir"/velkrun-*-win32.zip)
[ -f "${zips[0]}" ] || fail "no velkrun-*-win32.zip built"
mkdir -p "$scratch/zip"
cmake -E chdir "$scratch/zip" cmake -E tar xf "${zips[0]}"
exe=$(find "$scratch/zip" -name velkrun.exe)
[ -n "$exe" ] || fail ".zip: no velkrun.exe"
file -b "$exe" | grep -q '^PE32 executable (console) Intel 80386' ||
  fail ".zip: velkrun.exe is not a 32-bit Windows console program: $(file -b "$exe")"
tree_exe=$(find "$scratch/zip" -name velkrun-tree.exe)
[ -n "$tree_exe" ] || fail ".zip: no velkrun-tree.exe"
file -b "$tree_exe" | grep -q '^PE32 executable (console) Intel 80386' ||
  fail ".zip: velkrun-tree.exe is not a 32-bit Windows console program: $(file -b "$tree_exe")"
[ "$(dirname "$tree_exe")" = "$(dirname "$exe")" ] || fail ".zip: velkrun-tree.exe is not beside velkrun.exe"
[ -n "$(find "$scratch/zip" -name velkrun.txt)" ] || fail ".zip: no velkrun.txt manual"
echo "zip: ok ($(basename "${zips[0]}"))"
