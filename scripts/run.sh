#!/usr/bin/env bash
# The main job: install what is missing, build the front end hddiag, and run
# the whole test flow (disk report, plan, every test on every partition) on
# the built-in simulated machine, showing the progress as it goes.
#
#   scripts/run.sh                          # all four tests on every partition
#   scripts/run.sh --tests linear,random    # arguments go to "hddiag run"
#   scripts/run.sh 0-2 --json
#
# It shares the native build folder of scripts/test.sh ($BUILD_ROOT/native,
# default build/native) and builds only hddiag there. $JOBS sets the parallel
# jobs (default: the number of cores). The exit status is hddiag's.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$ROOT/build}
JOBS=${JOBS:-$(nproc)}
dir=$BUILD_ROOT/native

"$ROOT/scripts/install-deps.sh" native
if [[ ! -f $dir/CMakeCache.txt ]]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHDD_SANITIZE=OFF >/dev/null
fi
cmake --build "$dir" --target hddiag -j "$JOBS"

exec "$dir/tools/hddiag/hddiag" --machine builtin run "$@"
