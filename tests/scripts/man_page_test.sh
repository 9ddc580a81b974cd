#!/usr/bin/env bash
# Checks the manual pages against the programs they describe:
#  - both pages format with no groff warning;
#  - every option of velkrun's usage line and of velkrun-tree's usage line has its own entry, and
#    velkrun-tree.1 shows an example of --check, --diff and --symbols;
#  - every example in velkrun.1 that runs velkrun on a file shown in the page gives the output
#    the page shows;
#  - every message that the sources of velkrun can write is listed under DIAGNOSTICS.
# Usage: man_page_test.sh VELKRUN VELKRUN_TREE DOC_DIR SCRATCH_DIR SRC_DIR
set -u
absolute() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s/%s\n' "$PWD" "$1" ;; esac; }
velkrun=$(absolute "$1") tree_tool=$(absolute "$2") doc=$(absolute "$3") scratch=$(absolute "$4")
src=$(absolute "$5")

failures=0
fail() {
  printf 'FAIL: %s\n' "$1"
  failures=$((failures + 1))
}

rm -rf -- "$scratch"
mkdir -p -- "$scratch"

# render PAGE: plain ASCII text, no bold or underline, wide enough that no example line wraps.
render() {
  GROFF_NO_SGR=1 groff -man -Tascii -rLL=200n -P-c -P-b -P-u -P-o "$1"
}

for page in velkrun.1 velkrun-tree.1; do
  warnings=$(groff -man -Tutf8 -ww -z "$doc/$page" 2>&1)
  [ -z "$warnings" ] || fail "$page formats with warnings: $warnings"
  render "$doc/$page" >"$scratch/$page.txt" || fail "$page does not format"
done

# has_entry PAGE OPTION: the option is the tag of a tagged paragraph (.TP or .TQ) in the OPTIONS
# section of the page.
has_entry() {
  awk '/^\.SH/ { in_options = ($2 == "OPTIONS") }
       in_options && /^\.T[PQ]/ { if ((getline tag) > 0) print tag }' "$doc/$1" |
    sed -e 's/^\.[BI][BIR]* //' -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/"//g' |
    awk -v o="$2" '$1 == o { found = 1 } END { exit !found }'
}

# Options of velkrun's usage line, e.g. [-nvT] gives -n -v -T and [-l[A] <list>] gives -l -lA.
usage=$("$velkrun" 2>&1 >/dev/null)
status=$?
[ "$status" = 1 ] || fail "velkrun without arguments ends with status $status, not 1"
case $usage in
  "Usage: velkrun "*) ;;
  *) fail "velkrun without arguments does not write its usage line: $usage" ;;
esac
options=(-usage)
while read -r entry; do
  entry=${entry#[}
  case $entry in
    *"<"*|*"["*)
      # A list option: -d <list>, or -l[A] <list> standing for -l and -lA.
      name=${entry%% *}
      if [[ $name == *"["*"]"* ]]; then
        base=${name%%\[*}
        tail=${name#*\[}
        options+=("$base" "$base${tail%]}")
      else
        options+=("$name")
      fi ;;
    *)
      # Joined flag letters: -nvT gives -n, -v, -T.
      letters=${entry#-}
      letters=${letters%]}
      for ((i = 0; i < ${#letters}; i++)); do options+=("-${letters:i:1}"); done ;;
  esac
done < <(printf '%s\n' "$usage" | grep -oE '\[-[^][]*(\[[^]]*\][^]]*)?\]')
[ ${#options[@]} -ge 7 ] || fail "too few options read from the usage line: ${options[*]}"
for opt in "${options[@]}"; do
  has_entry velkrun.1 "$opt" || fail "velkrun.1 has no entry for $opt"
done
squeeze() { tr -s ' \n' ' '; }
grep -qF -- "$usage" <(squeeze <"$scratch/velkrun.1.txt") ||
  fail "velkrun.1 does not quote the usage line: $usage"

# The version in the page headers is the one the help text states.
version=$("$velkrun" -usage | sed -n 's/^Version: *//p' | tr -d '\r')
[ -n "$version" ] || fail "velkrun -usage states no version"
for page in velkrun.1 velkrun-tree.1; do
  grep -q "^\.TH .* \"velkrun $version\"" "$doc/$page" ||
    fail "$page does not name velkrun $version in its header"
done

# Messages: each line of each message format of the filter (the formats that start with "Error"
# or a conversion) must match a tag line of DIAGNOSTICS, %d and %s standing for any text.
awk '/^[A-Z]/ { in_diag = ($0 == "DIAGNOSTICS") } in_diag && /^       [^ ]/ { print substr($0, 8) }' \
  "$scratch/velkrun.1.txt" >"$scratch/diag_tags"
[ -s "$scratch/diag_tags" ] || fail "velkrun.1 has no DIAGNOSTICS entries"
n_formats=0
while IFS= read -r format; do
  n_formats=$((n_formats + 1))
  format=${format#\"}
  format=${format%\"}
  format=${format//\\\"/\"}
  format=${format//\\n/$'\n'}
  while IFS= read -r piece; do
    piece=${piece% }
    [ -n "$piece" ] || continue
    # shellcheck disable=SC2016  # the $ in the sed script is a regular expression anchor
    pattern=$(printf '%s' "$piece" | sed -e 's/[][\.*^$()+?{}|/]/\\&/g' -e 's/%d/[^ ]+/g' -e 's/%s/.+/g')
    grep -qE -- "^$pattern\$" "$scratch/diag_tags" || fail "velkrun.1 does not list the message: $piece"
  done <<<"$format"
done < <(cat "$src"/cli/*.cpp "$src"/cond/*.cpp | grep -oE '"(Error|%)([^"\\]|\\.)*\\n"' | sort -u)
[ "$n_formats" -ge 15 ] || fail "only $n_formats message formats found in $src"

# Options of velkrun-tree's usage line.
tree_usage=$("$tree_tool" --help | head -n 1)
tree_options=(--help)
for opt in $(printf '%s\n' "$tree_usage" | grep -oE -- '--[a-z-]+'); do
  [ "$opt" = -- ] || tree_options+=("$opt")
done
[ ${#tree_options[@]} -ge 4 ] || fail "too few options read from velkrun-tree --help: $tree_usage"
for opt in "${tree_options[@]}"; do
  has_entry velkrun-tree.1 "$opt" || fail "velkrun-tree.1 has no entry for $opt"
done
# The modes a user reaches for first each have a worked example.
for opt in --check --diff --symbols; do
  grep -qE -- "^ +\\$ velkrun-tree $opt " "$scratch/velkrun-tree.1.txt" ||
    fail "velkrun-tree.1 shows no example of $opt"
done

# Examples: a block shown under "The file NAME holds:" or "a file NAME of ... lines:" is written
# to NAME; each "$ velkrun ..." line on such a file is run and compared with the lines under it.
awk -v dir="$scratch" '
  function flush() { if (out != "") close(out); out = "" }
  /^       [^ ]/ {
    flush()
    if (match($0, /file [^ ]+ (holds:|of [a-z]+ lines:)/)) {
      split(substr($0, RSTART, RLENGTH), w, " ")
      want_file = w[2]
    }
    next
  }
  /^$/ { if (out != "") flush(); next }
  /^              / {
    line = substr($0, 15)
    if (want_file != "") { out = dir "/" want_file; printf "" > out; want_file = "" }
    if (out != "") print line >> out
  }
' "$scratch/velkrun.1.txt"
for f in demo.c ab.c; do
  [ -s "$scratch/$f" ] || fail "velkrun.1 shows no $f"
done

n_examples=0
while IFS= read -r cmd; do
  read -r -a words <<<"${cmd#\$ }"   # the examples hold no quoted blanks
  file=${words[-1]}
  [ -f "$scratch/$file" ] || continue
  case $cmd in *">"*|*"|"*|*"&"*) continue ;; esac
  awk -v cmd="$cmd" '
    /^              / && substr($0, 15) == cmd { on = 1; next }
    on && (!/^              / || substr($0, 15) ~ /^\$ /) { exit }
    on { print substr($0, 15) }
  ' "$scratch/velkrun.1.txt" >"$scratch/want"
  (cd "$scratch" && "$velkrun" "${words[@]:1}") >"$scratch/got" 2>&1
  n_examples=$((n_examples + 1))
  diff -u "$scratch/want" "$scratch/got" >"$scratch/diff" ||
    fail "example '$cmd' differs from the page: $(cat "$scratch/diff")"
done < <(grep -E '^ {14}\$ velkrun ' "$scratch/velkrun.1.txt" | cut -c15-)
[ "$n_examples" -ge 3 ] || fail "only $n_examples examples of velkrun.1 were run"

if [ "$failures" -ne 0 ]; then
  printf '%d check(s) failed\n' "$failures"
  exit 1
fi
rm -rf -- "$scratch"
echo "manual pages checked: ${#options[@]} + ${#tree_options[@]} options, $n_examples examples, $n_formats messages"
