#!/bin/sh
# Builds and runs the generation benchmark in its own build folder.
#   bench/generate_bench.sh [articles|mixed|all] [--keep]
set -e
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-bench}
[ -f "$BUILD/build.ninja" ] || cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target generate_bench -j2
[ $# -gt 0 ] || set -- all
"$BUILD/bench/generate_bench" "$@"
