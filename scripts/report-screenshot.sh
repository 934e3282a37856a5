#!/usr/bin/env bash
# Renders hddiag's --report page in headless Chromium and saves a screenshot,
# to see the page as a browser shows it (charts included) without a display.
#
#   scripts/report-screenshot.sh [OUT.png] [hddiag run arguments...]
#
# Runs "hddiag --machine builtin run" with the arguments (default: every test
# on every partition) from the native build ($BUILD_ROOT/native, built if
# needed) and writes OUT.png (default: report.png) beside the page OUT.html.
# Needs Debian's chromium (scripts/install-deps.sh installs it).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$ROOT/build}
dir=$BUILD_ROOT/native
out=$(realpath -m "${1:-report.png}")
shift || true
page=${out%.png}.html

command -v chromium >/dev/null || { echo "report-screenshot: chromium is not installed" >&2; exit 2; }
if [[ ! -x $dir/tools/hddiag/hddiag ]]; then
    "$ROOT/scripts/install-deps.sh" native
    [[ -f $dir/CMakeCache.txt ]] ||
        cmake -S "$ROOT" -B "$dir" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$dir" --target hddiag
fi

"$dir/tools/hddiag/hddiag" --machine builtin run --report "$page" "$@" >/dev/null 2>&1 || true
[[ -s $page ]] || { echo "report-screenshot: hddiag wrote no page" >&2; exit 1; }

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
# No network, no services: the page must stand on its own.
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --screenshot="$out" --window-size=1200,2000 "file://$page" >/dev/null 2>&1
[[ -s $out ]] || { echo "report-screenshot: chromium made no screenshot" >&2; exit 1; }
echo "report-screenshot: $page -> $out"
