#!/usr/bin/env bash
# hddiag.exe and the script samples against the real HDD.dll under Wine:
# creation without registration (the DLL's class object) and by ProgID, the
# callback reaching a compiled client, a JScript function and a VBScript
# class, and the exit statuses. Wine reports no testable disk, so every test
# on a partition is refused; the device behaviour is proved natively.
#
#   samples_test.sh <wine wrapper> <hddiag.exe> <HDD.dll> <samples dir> <work dir>
set -u

wine_run=$1
hddiag=$2
dll=$3
samples=$4
work=$5

rm -rf "$work"
mkdir -p "$work/bin" "$work/dll" "$work/samples"
cp "$hddiag" "$work/bin/hddiag.exe"
cp "$dll" "$work/dll/HDD.dll"
cp "$samples/run.js" "$samples/run.vbs" "$work/samples/"
cd "$work"

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# run <command...>: sets status, out and err (carriage returns removed).
run() {
    "$wine_run" "$@" >out.txt 2>err.txt
    status=$?
    out=$(tr -d '\r' <out.txt)
    err=$(tr -d '\r' <err.txt)
}

# expect <name> <status> [exact stdout]
expect() {
    local name=$1 want=$2
    if [[ "$status" != "$want" ]]; then
        fail "$name: exit status $status, expected $want"$'\n'"stdout: $out"$'\n'"stderr: $err"
    elif [[ $# -ge 3 && "$out" != "$3" ]]; then
        fail "$name: unexpected output"$'\n'"got:"$'\n'"$out"$'\n'"expected:"$'\n'"$3"
    else
        echo "ok: $name"
    fi
}

contains() {
    local name=$1 haystack=$2 needle=$3
    if [[ "$haystack" != *"$needle"* ]]; then
        fail "$name: '$needle' not in:"$'\n'"$haystack"
    fi
}

unregister() { "$wine_run" regsvr32 /u /s 'dll\HDD.dll' >/dev/null 2>&1; }
trap unregister EXIT

# Not registered, no DLL at hand: a message, and status 3.
unregister
run bin/hddiag.exe info
expect "hddiag without the component" 3
contains "hddiag without the component" "$err" "HDD.CHDDObject is not registered"
contains "hddiag without the component" "$err" "HDD.dll could not be loaded"

# Not registered, HDD.dll beside hddiag.exe: its class object.
cp dll/HDD.dll bin/HDD.dll
run bin/hddiag.exe info
expect "hddiag through DllGetClassObject" 0 $'No volume lies on an accepted disk.\nReport: '
rm -f bin/HDD.dll

# Registered: creation by ProgID.
run regsvr32 /s 'dll\HDD.dll'
expect "regsvr32" 0
run bin/hddiag.exe --trace test linear 0-1
expect "hddiag --trace test" 1 $'event 0 100 2\nresult HDDLinearSeekTest 1 0xA0010003'
run bin/hddiag.exe --json run
expect "hddiag --json run" 0
contains "hddiag --json run" "$out" '"passed": true'
contains "hddiag --json run" "$out" '"plan": {'
run bin/hddiag.exe run 0-2 --tests random
expect "hddiag run with an item" 1
contains "hddiag run with an item" "$out" "HDDRandomSeekTest   0-2       refused  0xA0010003 HDD_PARTITION_NOT_TESTABLE"

for script in run.js run.vbs; do
    run cscript //nologo "samples\\$script"
    expect "$script" 0 $'report: \nplan:  mask 0x0000000F\nsummary: 0 of 0 tests passed\ndone'
    run cscript //nologo "samples\\$script" 0-1 /tests:surface,linear
    expect "$script with items" 1 "report: 
plan: 0-1 mask 0x00000009
HDDSurfaceScanTest 0-1
  100%
  result 0xA0010003 HDD_PARTITION_NOT_TESTABLE
HDDLinearSeekTest 0-1
  100%
  result 0xA0010003 HDD_PARTITION_NOT_TESTABLE
summary: 0 of 2 tests passed
done"
    run cscript //nologo "samples\\$script" /tests:sideways
    expect "$script with a bad test name" 2 "error: 'sideways' is not a test (linear, funnel, random, surface)
done"
done

# Unregistered again: the scripts report the failed creation.
unregister
for script in run.js run.vbs; do
    run cscript //nologo "samples\\$script"
    expect "$script without the component" 2
    contains "$script without the component" "$out" "error: "
    [[ "${out##*$'\n'}" == "done" ]] || fail "$script without the component: last line is not 'done'"
done

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
