#!/usr/bin/env bash
# The README's test command, with compiler warnings as errors.
set -euo pipefail
cmake --preset release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --workflow --preset test
