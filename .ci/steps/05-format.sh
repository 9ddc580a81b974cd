#!/usr/bin/env bash
# Formatting: every C++ source and header under src/ tests/ fuzz/ bench/ is as .clang-format has it.
set -euo pipefail
mapfile -d '' files < <(find src tests fuzz bench -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
[ ${#files[@]} -gt 0 ] || { echo "05-format: no sources found" >&2; exit 1; }
clang-format --version
clang-format --dry-run -Werror "${files[@]}"
echo "formatting: ok (${#files[@]} files)"
