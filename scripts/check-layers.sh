#!/usr/bin/env bash
# Fails when a file of the component or the front end includes a header of a
# folder above its own. Layers, bottom to top (folders on one rank see each
# other's lower ranks only, not each other):
#
#   platform/ -> drive/ -> object/ -> info/, disktests/, scan/ -> server/ -> tools/hddiag/
#
# and inside tools/hddiag, each folder below the ones that use it:
#
#   text/       text made safe for a terminal, a page or a metrics label
#   session/    the component's disks, report and run as records
#   latency/    read timing, its clocks and figures
#   options/    the command line as records
#   host/       what differs per system (disks, clock, files, programs)
#   health/     SMART through smartctl, and its verdict
#   view/       the live view on standard error
#   writers/    a run's outputs: text, JSON, page, metrics, trace
#   scanning/   the full scan of disks over the engine of scan/
#   check/      the one verdict per disk
#   commands/   one driver per command, over the set-up they share
#   app.cpp, main.cpp   which command runs
#
# A file may include headers of its own folder and of lower ranks; standard
# and third-party headers (<...>) are not checked.
#
#   scripts/check-layers.sh [ROOT]
set -euo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$root"

rank_of() {
    case $1 in
        platform/*) echo 0 ;;
        drive/*) echo 1 ;;
        object/*) echo 2 ;;
        info/*) echo 3 ;;
        disktests/*) echo 3 ;;
        scan/*) echo 3 ;;
        server/*) echo 4 ;;
        tools/hddiag/text/*) echo 5 ;;
        tools/hddiag/session/*) echo 6 ;;
        tools/hddiag/latency/*) echo 7 ;;
        tools/hddiag/options/*) echo 8 ;;
        tools/hddiag/host/*) echo 9 ;;
        tools/hddiag/health/*) echo 10 ;;
        tools/hddiag/view/*) echo 11 ;;
        tools/hddiag/writers/*) echo 12 ;;
        tools/hddiag/scanning/*) echo 13 ;;
        tools/hddiag/check/*) echo 14 ;;
        tools/hddiag/commands/*) echo 15 ;;
        tools/hddiag/*/*) echo "?" ;;
        tools/hddiag/*) echo 16 ;;
        *) echo - ;;
    esac
}
top_folder() {
    case $1 in
        tools/hddiag/*/*) echo "${1%/*}" ;;
        tools/hddiag/*) echo tools/hddiag ;;
        *) echo "${1%%/*}" ;;
    esac
}

checked=0
bad=0
while IFS= read -r file; do
    from=$(rank_of "$file")
    if [[ $from == "?" ]]; then
        echo "check-layers: $file is in a folder of tools/hddiag that has no rank (add it to this script)" >&2
        bad=$((bad + 1))
        continue
    fi
    from_folder=$(top_folder "$file")
    while IFS= read -r line; do
        header=${line#*\"}
        header=${header%%\"*}
        to=$(rank_of "$header")
        [[ $to == - || $to == "?" ]] && continue
        to_folder=$(top_folder "$header")
        checked=$((checked + 1))
        if [[ $to_folder != "$from_folder" && $to -ge $from ]]; then
            echo "check-layers: $file includes \"$header\" ($to_folder/ is not below $from_folder/)" >&2
            bad=$((bad + 1))
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find platform drive object info disktests scan server tools/hddiag -type f \
             \( -name '*.h' -o -name '*.cpp' -o -name '*.rc' -o -name '*.idl' \) | sort)

if [[ $bad -ne 0 ]]; then
    echo "check-layers: $bad upward include(s)" >&2
    exit 1
fi
echo "check-layers: $checked includes of project headers, none upward"
