#!/usr/bin/env bash
# The main job: install what is missing, build hddiag, and run the whole test
# flow (report, plan, every test on every partition) on the built-in
# simulated machine, showing the progress as it goes.
#
#   scripts/run.sh                       # all four tests on every partition
#   scripts/run.sh --tests linear,random # any arguments are passed to "hddiag run"
#
# HDD_BUILD_DIR chooses the build folder (default: build/hddiag).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${HDD_BUILD_DIR:-$root/build/hddiag}"

"$root/scripts/install-deps.sh"

generator=()
if command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target hddiag -j "$(nproc)"

exec "$build/tools/hddiag/hddiag" --machine builtin run "$@"
