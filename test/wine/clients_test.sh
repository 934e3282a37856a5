#!/usr/bin/env bash
# The small clients of docs/automation.md (samples/clients: JScript,
# VBScript, and C++ built against the generated HDD.h) against the real
# HDD.dll under Wine: registered, each prints the report, the plan, the
# percent 100 of a refused test and its code, and exits 1; unregistered, each
# reports the failed creation and exits 2. Wine reports no accepted disk, so
# every test is refused; the device behaviour is proved natively.
#
#   clients_test.sh <wine wrapper> <HDD.dll> <client.exe> <clients dir> <work dir>
set -u

wine_run=$1
dll=$2
client_exe=$3
clients=$4
work=$5

rm -rf "$work"
mkdir -p "$work"
cp "$dll" "$work/HDD.dll"
cp "$client_exe" "$work/client.exe"
cp "$clients/client.js" "$clients/client.vbs" "$work/"
cd "$work"

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# run <command...>: sets status and out (stdout, carriage returns removed).
run() {
    "$wine_run" "$@" >out.txt 2>err.txt </dev/null
    status=$?
    out=$(tr -d '\r' <out.txt)
}

# expect <name> <status> <exact stdout>
expect() {
    if [[ "$status" != "$2" ]]; then
        fail "$1: exit status $status, expected $2"$'\n'"stdout: $out"$'\n'"stderr: $(cat err.txt)"
    elif [[ "$out" != "$3" ]]; then
        fail "$1: unexpected output"$'\n'"got:"$'\n'"$out"$'\n'"expected:"$'\n'"$3"
    else
        echo "ok: $1"
    fi
}

unregister() { "$wine_run" regsvr32 /u /s HDD.dll >/dev/null 2>&1 </dev/null; }
trap unregister EXIT

clients=("cscript //nologo client.js" "cscript //nologo client.vbs" "client.exe")
# The C++ client also shows StartHDDTest's status.
plan_status=("" "" " status 0")
item_plan_status=("" "" " status 1")

run regsvr32 /s HDD.dll
expect "regsvr32" 0 ""
for i in "${!clients[@]}"; do
    read -r -a command <<<"${clients[$i]}"
    # No partition in the report: an empty selector names no disk.
    run "${command[@]}"
    expect "${clients[$i]}" 1 "report: 
plan:  mask 0x00000008${plan_status[$i]}
percent 100
HDDSurfaceScanTest : 0xA0010001
done"
    run "${command[@]}" 0-1
    expect "${clients[$i]} 0-1" 1 "report: 
plan: 0-1 mask 0x00000008${item_plan_status[$i]}
percent 100
HDDSurfaceScanTest 0-1: 0xA0010003
done"
done

unregister
for i in "${!clients[@]}"; do
    read -r -a command <<<"${clients[$i]}"
    run "${command[@]}"
    [[ $status == 2 && $out == "error: "* && ${out##*$'\n'} == done ]] ||
        fail "${clients[$i]} without the component: status $status, output:"$'\n'"$out"
done

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
