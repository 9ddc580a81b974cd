#!/usr/bin/env bash
# End-to-end test of velkrun-tree on a scratch tree, driven against the real velkrun.
# Usage: velkrun_tree_test.sh VELKRUN VELKRUN_TREE SCRATCH_DIR
set -u
velkrun=$1 tree_tool=$2 scratch=$3
export VELKRUN=$velkrun

failures=0
check() {  # check DESCRIPTION COMMAND...: one assertion
  local what=$1
  shift
  if "$@"; then :; else
    printf 'FAIL: %s\n' "$what"
    failures=$((failures + 1))
  fi
}
same() { cmp -s -- "$1" "$2"; }
has() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }
mode_of() { stat -c %a -- "$1"; }
no_temp_left() { [ -z "$(find "$scratch" -name '.velkrun-tree.*')" ]; }

rm -rf -- "$scratch"
mkdir -p -- "$scratch"
t=$scratch/tree
mkdir -p "$t/sub dir" "$t/outside"

# Input whose DROP branch goes under -d DROP; the expected result beside it.
printf 'top\n#ifdef DROP\ngone\n#else\nstays\n#endif\nend\n' >"$scratch/in.txt"
printf 'top\nstays\nend\n' >"$scratch/want.txt"

cp "$scratch/in.txt" "$t/plain.c"
cp "$scratch/in.txt" "$t/sub dir/my file.cpp"
chmod 640 "$t/sub dir/my file.cpp"
printf 'no conditionals here\n' >"$t/same.h"
cp "$scratch/in.txt" "$t/ro.hpp"
chmod 2444 "$t/ro.hpp"   # the set-group-id bit is no write bit
printf 'a\n#if (DROP)\nb\n#endif\n' >"$t/bad.c"
cp "$scratch/in.txt" "$t/notes.txt"
cp "$scratch/in.txt" "$t/-dash.cc"
ln -s plain.c "$t/link.c"
cp "$scratch/in.txt" "$t/outside/far.c"
mv "$t/outside" "$scratch/outside"
ln -s ../outside "$t/linkdir"
cp -a "$t" "$scratch/orig"

run() {  # run ARGS...: velkrun-tree with output to out/err files, status to $status
  "$tree_tool" "$@" >"$scratch/out" 2>"$scratch/err"
  status=$?
}

# Options that make no sense for rewriting, and malformed command lines.
for bad in -v -n -nT -Tv -usage; do
  run -d DROP "$bad" -- "$t"
  check "$bad is refused with status 2" [ "$status" = 2 ]
  check "$bad is refused with a message" has "$scratch/err" "$bad"
done
run -d DROP "$t"
check "missing -- is a usage error" [ "$status" = 2 ]
run -d DROP --
check "no path is a usage error" [ "$status" = 2 ]
run -d 'A-B' -- "$t"
check "an invalid list stops before any file" [ "$status" = 2 ]
check "an invalid list shows velkrun's message" has "$scratch/err" 'invalid name'
check "usage errors touch nothing" diff -r "$scratch/orig" "$t"

# Dry run: lists what would change and writes nothing.
run --dry-run -d DROP -- "$t"
check "dry run fails because of bad.c and ro.hpp" [ "$status" = 1 ]
check "dry run lists plain.c" has "$scratch/out" "would change: $t/plain.c"
check "dry run lists the file with spaces" has "$scratch/out" "would change: $t/sub dir/my file.cpp"
check "dry run does not list same.h" lacks "$scratch/out" "same.h"
check "dry run summary" has "$scratch/out" \
  "velkrun-tree: files seen 6, would change 3, unchanged 1, failed 2, symbolic links skipped 1"
check "dry run leaves the tree as it was" diff -r "$scratch/orig" "$t"
check "dry run leaves no temporary file" no_temp_left

# The real run with backups.
run --backup .orig -d DROP -- "$t"
check "run with failures exits 1" [ "$status" = 1 ]
check "plain.c rewritten" same "$t/plain.c" "$scratch/want.txt"
check "backup of plain.c kept" same "$t/plain.c.orig" "$scratch/in.txt"
check "file with spaces rewritten" same "$t/sub dir/my file.cpp" "$scratch/want.txt"
check "file with spaces keeps mode 640" [ "$(mode_of "$t/sub dir/my file.cpp")" = 640 ]
check "file with a leading dash rewritten" same "$t/-dash.cc" "$scratch/want.txt"
check "unchanged file has no backup" [ ! -e "$t/same.h.orig" ]
check "read-only file left alone" same "$t/ro.hpp" "$scratch/in.txt"
check "read-only file keeps mode 2444" [ "$(mode_of "$t/ro.hpp")" = 2444 ]
check "read-only file reported" has "$scratch/err" "$t/ro.hpp: read-only; not rewritten"
check "unparsable file left alone" same "$t/bad.c" "$scratch/orig/bad.c"
check "parse failure reported with velkrun's message" has "$scratch/err" "$t/bad.c: Error(#6): 2:"
check "other extensions ignored" same "$t/notes.txt" "$scratch/in.txt"
check "symbolic link stays a link" [ -L "$t/link.c" ]
check "symbolic link reported" has "$scratch/err" "$t/link.c: symbolic link, skipped"
check "linked folder not followed" same "$scratch/outside/far.c" "$scratch/in.txt"
check "summary" has "$scratch/out" \
  "velkrun-tree: files seen 6, changed 3, unchanged 1, failed 2, symbolic links skipped 1"
check "changed files listed" has "$scratch/out" "changed: $t/plain.c"
check "no temporary file left" no_temp_left

# A second run changes nothing; on the files that can be read it succeeds.
run -d DROP -- "$t/plain.c" "$t/sub dir" "$t/same.h"
check "clean second run exits 0" [ "$status" = 0 ]
check "clean second run summary" has "$scratch/out" \
  "velkrun-tree: files seen 3, changed 0, unchanged 3, failed 0"

# A named file is taken whatever its extension; --ext picks extensions when walking.
run -d DROP -- "$t/notes.txt"
check "named .txt file rewritten" same "$t/notes.txt" "$scratch/want.txt"
cp "$scratch/in.txt" "$t/notes.txt"
run --ext .txt,inc -d DROP -- "$t"
check "--ext run exits 0" [ "$status" = 0 ]
check "--ext takes .txt" same "$t/notes.txt" "$scratch/want.txt"
check "--ext drops the default list" same "$t/ro.hpp" "$scratch/in.txt"

# A path named with a leading dash, and a link to a folder named on the command line.
cp "$scratch/in.txt" "$t/-dash.cc"
(cd "$t" && "$tree_tool" -d DROP -- -dash.cc >/dev/null 2>&1)
check "path with a leading dash" same "$t/-dash.cc" "$scratch/want.txt"
run -d DROP -- "$t/linkdir"
check "a linked folder named as PATH is searched" same "$scratch/outside/far.c" "$scratch/want.txt"

# Interrupted after velkrun has written the new text but before the rename: the file stays as it
# was and the temporary file is removed.
cp "$scratch/in.txt" "$t/plain.c"
cat >"$scratch/velkrun-then-term" <<EOF
#!/usr/bin/env bash
"$velkrun" "\$@"
st=\$?
case \$* in */dev/null) ;; *) kill -TERM \$PPID ;; esac
exit \$st
EOF
chmod +x "$scratch/velkrun-then-term"
VELKRUN=$scratch/velkrun-then-term run -d DROP -- "$t/plain.c"
check "interrupt exits 143" [ "$status" = 143 ]
check "interrupt reported" has "$scratch/err" "interrupted"
check "interrupted file untouched" same "$t/plain.c" "$scratch/in.txt"
check "interrupt leaves no temporary file" no_temp_left

# A velkrun that cannot be run is reported before any file is touched.
VELKRUN=$scratch/no-such-velkrun run -d DROP -- "$t"
check "missing velkrun exits 2" [ "$status" = 2 ]
check "missing velkrun reported" has "$scratch/err" "cannot find velkrun"

if [ "$failures" -ne 0 ]; then
  printf '%d check(s) failed\n' "$failures"
  exit 1
fi
rm -rf -- "$scratch"
echo "all velkrun-tree checks passed"
