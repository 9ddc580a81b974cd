#!/usr/bin/env bash
# Every unit and end-to-end test again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cmake --preset asan-ubsan -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --workflow --preset asan-ubsan
