#!/usr/bin/env bash
# The 32-bit and the 64-bit HDD.dll side by side, in a fresh 64-bit Wine
# prefix of their own (system32 64-bit, syswow64 32-bit): each registers in its
# own registry view; the compiled client of each platform creates the object
# in process and is called back on its own thread; the 64-bit and the 32-bit
# cscript each run samples\run.js and load their own DLL (a +loaddll trace);
# unregistering one leaves the other working, unregistering both leaves the
# classes keys as they were; the same per user, by the keys.
#
#   side_by_side_test.sh <HDD.dll 32-bit> <client 32-bit> <HDD.dll 64-bit>
#                        <client 64-bit> <samples dir> <hdd_guids.h> <work dir>
set -u

dll32=$1
client32=$2
dll64=$3
client64=$4
samples=$5
guids_header=$6
work=$7

prefix=$work/prefix
drive=$prefix/drive_c
# shellcheck source=../../cmake/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine-env.sh"
hdd_wine_env "$prefix" win64

stop_server() { wineserver -k </dev/null >/dev/null 2>&1 || true; }
stop_server
rm -rf "$work"
mkdir -p "$work"
trap stop_server EXIT

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
ok() { echo "ok: $*"; }

clsid=$(sed -n 's/^#define HDD_CLSID_CHDDOBJECT_TEXT L"\(.*\)"$/\1/p' "$guids_header")
libid=$(sed -n 's/^#define HDD_LIBID_HDDLIB_TEXT L"\(.*\)"$/\1/p' "$guids_header")
[[ -n $clsid && -n $libid ]] || { echo "no identifiers in $guids_header"; exit 1; }

# Debian's wine starts system32's programs as 32-bit ones: each program is
# named by its full path and started by the loader of its own bitness.
wine32() { wine "$@"; }
wine64() { /usr/lib/wine/wine64 "$@"; }
sys32='C:\windows\syswow64'
sys64='C:\windows\system32'

# run <loader> <program> [args...]: sets status, out (stdout) and err.
run() {
    "$@" >"$work/out.txt" 2>"$work/err.txt" </dev/null
    status=$?
    out=$(tr -d '\r' <"$work/out.txt")
    err=$(tr -d '\r' <"$work/err.txt")
}

expect() {
    if [[ "$status" != "$2" ]]; then
        fail "$1: exit status $status, expected $2"$'\n'"$out"$'\n'"$err"
    else
        ok "$1"
    fi
}

contains() {
    if [[ "$2" != *"$3"* ]]; then
        fail "$1: '$3' not in:"$'\n'"$2"
    fi
}

# ---- a fresh 64-bit prefix --------------------------------------------------------
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w </dev/null >/dev/null 2>&1
wineserver -p </dev/null >/dev/null 2>&1
wine64 cmd /c exit </dev/null >/dev/null 2>&1 || { echo "cannot start 64-bit Wine in $prefix"; exit 1; }
[[ -d $drive/windows/syswow64 ]] || { echo "$prefix is not a 64-bit prefix"; exit 1; }

mkdir -p "$drive/HDD/x64" "$drive/HDD/samples"
cp "$dll32" "$drive/HDD/HDD.dll"
cp "$dll64" "$drive/HDD/x64/HDD.dll"
cp "$client32" "$drive/HDD/client32.exe"
cp "$client64" "$drive/HDD/client64.exe"
cp "$samples/run.js" "$drive/HDD/samples/"
cd "$drive/HDD" || exit 1
path32='C:\HDD\HDD.dll'
path64='C:\HDD\x64\HDD.dll'

# The class key of one view, as that view's reg.exe sees it: its
# InprocServer32 path, or "" when the view has none.
class_path() {
    local loader=$1 sys=$2 root=${3:-HKCR}
    "$loader" "$sys\\reg.exe" query "$root\\CLSID\\$clsid\\InprocServer32" /ve </dev/null 2>/dev/null |
        tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'
}

# The classes keys of both views as sorted lines (the 64-bit reg.exe sees
# the 32-bit view's class keys below Wow6432Node).
snapshot() {
    local hive
    for hive in 'HKLM\Software\Classes' 'HKCU\Software\Classes'; do
        rm -f "$drive/snap.reg"
        wine64 "$sys64\\reg.exe" export "$hive" 'C:\snap.reg' /y >/dev/null 2>&1 </dev/null
        [[ -f $drive/snap.reg ]] && iconv -f UTF-16LE -t UTF-8 "$drive/snap.reg" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//'
    done | grep -v -e '^Windows Registry Editor' -e '^$' |
        # The user's classes parents, which Windows has anyway and which stay when emptied.
        grep -v -i -x -E '\[HKEY_CURRENT_USER\\Software\\Classes(\\(AppID|CLSID|Interface|TypeLib))?\]' |
        LC_ALL=C sort >"$work/$1.txt"
    rm -f "$drive/snap.reg"
}

# The script hosts register their own libraries on first use: before the baseline.
run wine64 "$sys64\\cscript.exe" //nologo 'samples\run.js'
run wine32 "$sys32\\cscript.exe" //nologo 'samples\run.js'
snapshot clean

# ---- with only the 32-bit DLL, a 64-bit client cannot create the object --------
run wine32 "$sys32\\regsvr32.exe" /s "$path32"
expect "32-bit regsvr32 of HDD.dll" 0
run wine64 'C:\HDD\client64.exe'
expect "64-bit client with only the 32-bit DLL registered" 1
contains "64-bit client with only the 32-bit DLL registered" "$out" "0x80040154"

# ---- both registered, each in its own view -----------------------------------------
run wine64 "$sys64\\regsvr32.exe" /s "$path64"
expect "64-bit regsvr32 again" 0
expect "64-bit regsvr32 of x64\\HDD.dll" 0
[[ $(class_path wine64 "$sys64") == "$path64" ]] || fail "64-bit view's class: '$(class_path wine64 "$sys64")'"
[[ $(class_path wine32 "$sys32") == "$path32" ]] || fail "32-bit view's class: '$(class_path wine32 "$sys32")'"
for kind in win32 win64; do
    wine64 "$sys64\\reg.exe" query "HKCR\\TypeLib\\$libid\\1.0\\0\\$kind" </dev/null >/dev/null 2>&1 ||
        fail "the type library has no $kind key"
done

# client <bits> <dll path>: the compiled client of that platform loads that DLL.
client() {
    local loader=wine$1
    run "$loader" "C:\\HDD\\client$1.exe"
    expect "$1-bit client" 0
    contains "$1-bit client" "$out" "module $2"
    contains "$1-bit client" "$out" "result 0xA0010003"
    contains "$1-bit client" "$out" "on another thread 0"
}
client 64 "$path64"
client 32 "$path32"

# script <bits> <sys folder> <dll path>: that cscript runs run.js to its end
# and the trace shows it loaded that DLL and not the other.
script() {
    local loader=wine$1 other
    [[ $3 == "$path32" ]] && other=$path64 || other=$path32
    WINEDEBUG=+loaddll run "$loader" "$2\\cscript.exe" //nologo 'samples\run.js'
    expect "$1-bit cscript samples\\run.js" 0
    [[ ${out##*$'\n'} == done ]] || fail "$1-bit cscript: last line is not 'done':"$'\n'"$out"
    contains "$1-bit cscript loads its own DLL" "$err" "Loaded L\"${3//\\/\\\\}\""
    [[ $err != *"Loaded L\"${other//\\/\\\\}\""* ]] || fail "$1-bit cscript loaded $other"
}
script 64 "$sys64" "$path64"
script 32 "$sys32" "$path32"

# ---- unregistering one view leaves the other working ---------------------------------
run wine64 "$sys64\\regsvr32.exe" /u /s "$path64"
expect "64-bit regsvr32 /u" 0
[[ -z $(class_path wine64 "$sys64") ]] || fail "the 64-bit class key stayed"
client 32 "$path32"
script 32 "$sys32" "$path32"
run wine64 "$sys64\\regsvr32.exe" /s "$path64"
expect "64-bit regsvr32 again" 0
run wine32 "$sys32\\regsvr32.exe" /u /s "$path32"
expect "32-bit regsvr32 /u" 0
[[ -z $(class_path wine32 "$sys32") ]] || fail "the 32-bit class key stayed"
client 64 "$path64"
script 64 "$sys64" "$path64"

# ---- unregistering both leaves nothing behind ------------------------------------------
run wine64 "$sys64\\regsvr32.exe" /u /s "$path64"
expect "64-bit regsvr32 /u, the last one" 0
snapshot unregistered
if ! diff "$work/clean.txt" "$work/unregistered.txt" >"$work/diff.txt"; then
    fail "keys left behind:"$'\n'"$(cat "$work/diff.txt")"
else
    ok "both unregistered: the classes keys are as before"
fi

# ---- per user: both register below the user's classes ---------------------------
# Wine keeps one CLSID key for both views of the user's classes (Windows keeps
# them apart), so the 64-bit registration takes it over; the 32-bit
# unregistration must then leave that key, which names the other file, alone.
run wine32 "$sys32\\regsvr32.exe" /s /n /i:user "$path32"
expect "32-bit regsvr32 /n /i:user" 0
run wine64 "$sys64\\regsvr32.exe" /s /n /i:user "$path64"
expect "64-bit regsvr32 /n /i:user" 0
[[ $(class_path wine64 "$sys64" 'HKCU\Software\Classes') == "$path64" ]] || fail "64-bit per-user class key"
run wine32 "$sys32\\regsvr32.exe" /s /u /n /i:user "$path32"
expect "32-bit regsvr32 /u /n /i:user" 0
[[ $(class_path wine64 "$sys64" 'HKCU\Software\Classes') == "$path64" ]] ||
    fail "the 32-bit per-user unregistration removed the 64-bit class key"
run wine64 "$sys64\\regsvr32.exe" /s /u /n /i:user "$path64"
expect "64-bit regsvr32 /u /n /i:user" 0
snapshot per_user_unregistered
if ! diff "$work/clean.txt" "$work/per_user_unregistered.txt" >"$work/diff.txt"; then
    fail "per-user keys left behind:"$'\n'"$(cat "$work/diff.txt")"
else
    ok "both unregistered per user: the classes keys are as before"
fi

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed (prefix kept in $prefix)"
    exit 1
fi
stop_server
cd / && rm -rf "$prefix"
echo "all checks passed"
