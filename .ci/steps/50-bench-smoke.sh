#!/usr/bin/env bash
# The benchmarks still build and run: micro-benchmarks for a moment each, the throughput script on
# a 1 MiB input. Timings here mean nothing; the full runs are described in bench/README.md.
set -euo pipefail
cmake --preset release -DVELK_BENCH=ON >/dev/null
cmake --build --preset release -j2 --target velkrun velkrun-tree velk_micro_bench
./build/release/bench/velk_micro_bench --benchmark_min_time=0.001
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
CORPUS_DIR=$corpus bash bench/throughput.sh --smoke
BENCH_DIR=$corpus/tree bash bench/tree_bench.sh --smoke
BENCH_DIR=$corpus/symbols bash bench/symbols_bench.sh --smoke
