#!/usr/bin/env bash
# The README's first command as a newcomer runs it: from a fresh build folder, with GoogleTest
# hidden (the program alone must not need it), warnings as errors; its output must be the README's.
set -euo pipefail
cd "$(dirname "$0")/../.."
start=$SECONDS
cmake --preset run --fresh -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build --preset run
got=$(mktemp)
trap 'rm -f "$got"' EXIT
./build/run/src/cli/velkrun -lA DEBUG examples/demo.c >"$got"
cmp -s tests/scripts/demo-lA-DEBUG.out "$got" ||
  { diff -u tests/scripts/demo-lA-DEBUG.out "$got" >&2; echo "05-readme-run: wrong output" >&2; exit 1; }
# The README shows the same output beside the command.
python3 - tests/scripts/demo-lA-DEBUG.out README.md <<'PY'
import sys
want = open(sys.argv[1]).read()
readme = open(sys.argv[2]).read()
if "```c\n" + want + "```\n" not in readme:
    sys.exit("05-readme-run: README.md does not show the output of examples/demo.c")
PY
if [ -d build/run/tests ]; then
  echo "05-readme-run: the run preset built tests" >&2
  exit 1
fi
echo "README run command: $((SECONDS - start)) s"
