#!/usr/bin/env bash
# Fails when a file of the component or the front end includes a header of a
# folder above its own. Layers, bottom to top (folders on one rank see each
# other's lower ranks only, not each other):
#
#   platform/ -> drive/ -> object/ -> info/, disktests/, scan/ -> server/ -> tools/hddiag/
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
        tools/hddiag/*) echo 5 ;;
        *) echo - ;;
    esac
}
top_folder() {
    case $1 in
        tools/hddiag/*) echo tools/hddiag ;;
        *) echo "${1%%/*}" ;;
    esac
}

checked=0
bad=0
while IFS= read -r file; do
    from=$(rank_of "$file")
    from_folder=$(top_folder "$file")
    while IFS= read -r line; do
        header=${line#*\"}
        header=${header%%\"*}
        to=$(rank_of "$header")
        [[ $to == - ]] && continue
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
