#!/usr/bin/env bash
# The setup program and the portable zip under Wine, in a fresh prefix of
# their own: silent install for every user (files, keys, creation by ProgID,
# hddiag.exe), upgrades over it in place and into another folder, one silent
# uninstall (registry exported before and after compares equal), install for
# the current user only (keys under the user's classes, the machine's
# untouched), and a registration that fails (nothing stays).
#
# In a 32-bit prefix only HDD.dll is installed; in a 64-bit one (win64) also
# x64\HDD.dll, each registered in its own registry view and created by the
# script host of its own bitness.
#
#   installer_test.sh <wine wrapper> <setup.exe> <portable.zip> <version>
#                     <hdd_guids.h> <cmake> <work dir> [win32|win64]
set -u

wine_run=$1
setup=$2
zip=$3
version=$4
guids_header=$5
cmake=$6
work=$7
arch=${8:-win32}

prefix=$work/prefix
drive=$prefix/drive_c
# shellcheck source=../../cmake/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine-env.sh"
hdd_wine_env "$prefix" "$arch"
export HDD_WINEPREFIX=$prefix HDD_WINEARCH=$arch  # what cmake/wine-run.sh uses

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

guid() { sed -n "s/^#define $1 L\"\\(.*\\)\"$/\\1/p" "$guids_header"; }
clsid=$(guid HDD_CLSID_CHDDOBJECT_TEXT)
libid=$(guid HDD_LIBID_HDDLIB_TEXT)
iid=$(guid HDD_IID_ICHDDOBJECT_TEXT)
diid=$(guid HDD_DIID_ICHDDOBJECTEVENTS_TEXT)
appid=$(guid HDD_APPID_TEXT)
[[ -n $clsid && -n $libid && -n $iid && -n $diid && -n $appid ]] || { echo "no identifiers in $guids_header"; exit 1; }

# run <command...>: sets status and out (stdout and stderr, no carriage returns).
run() {
    "$wine_run" "$@" >"$work/out.txt" 2>&1 </dev/null
    status=$?
    out=$(tr -d '\r' <"$work/out.txt")
}

# reg.exe of the prefix's own bitness: the 64-bit one sees both views (the
# 32-bit one's class keys below Wow6432Node).
reg_exe() {
    if [[ $arch == win64 ]]; then
        /usr/lib/wine/wine64 'C:\windows\system32\reg.exe' "$@"
    else
        "$wine_run" reg "$@"
    fi
}

# The registry as sorted lines: "KEY" for a key, "KEY<tab>VALUE" per value.
snapshot() {
    local hive
    for hive in HKLM HKCU; do
        reg_exe export "$hive" "C:\\$hive.reg" /y >/dev/null 2>&1 </dev/null ||
            { echo "reg export $hive failed" >&2; return 1; }
        iconv -f UTF-16LE -t UTF-8 "$drive/$hive.reg" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//' | awk '
            /\\$/ { sub(/\\$/, ""); sub(/^ +/, ""); pending = pending $0; next }
            { line = pending $0; pending = ""; sub(/^ +/, "", line) }
            line == "" || line ~ /^Windows Registry Editor/ { next }
            line ~ /^\[.*\]$/ { key = substr(line, 2, length(line) - 2); print key; next }
            { print key "\t" line }'
        rm -f "$drive/$hive.reg"
    done |
        # A 64-bit prefix's export repeats keys under their links' names:
        # Software\Wow6432Node\Classes is Software\Classes\Wow6432Node, whose
        # AppId, TypeLib and Protocols are the shared keys.
        grep -v -i -E '^HKEY_LOCAL_MACHINE\\Software\\(Wow6432Node\\Classes|Classes\\Wow6432Node\\(AppId|TypeLib|Protocols))(\\|$|\t)' |
        LC_ALL=C sort >"$work/$1.reg.txt"
}

# What changed from snapshot A to snapshot B ("+ line", "- line"), without
# what Wine changes on its own (a display key per started program) and the
# shared parent keys that Windows has anyway and that stay when emptied.
changes() {
    LC_ALL=C comm -3 "$work/$1.reg.txt" "$work/$2.reg.txt" |
        sed -e 's/^\t\t.*//' -e 's/^\t/+ /' -e '/^+ /!s/^/- /' |
        grep -v -i -E '^[-+] HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video\\' |
        grep -v -i -x -E '[-+] HKEY_CURRENT_USER\\Software\\Classes(\\Wow6432Node)?(\\(AppID|CLSID|Interface|TypeLib))?' |
        grep -v -i -x -E '[-+] HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall' |
        grep -v '^- $' || true
}

expect_no_changes() {
    local name=$1 diff
    diff=$(changes clean "$2")
    if [[ -n $diff ]]; then
        fail "$name: the registry differs from before the installation:"$'\n'"$diff"
    else
        ok "$name: registry as before the installation"
    fi
}

# Every change lies under the component's keys in CLASSES or under the
# installed-programs entry in HIVE, and nothing was removed. In a 64-bit
# prefix Wine's type-library registration writes the interface keys
# machine-wide even per user (its uninstall removes them again, checked below).
expect_only_own_keys() {
    local name=$1 snap=$2 classes=$3 hive=$4 stray
    local uninstall="$hive\\$entry"
    [[ $hive == HKEY_CURRENT_USER ]] && uninstall="$hive\\$user_entry"
    local own=("$classes\\AppID\\$appid" "$classes\\AppID\\HDD.DLL" "$classes\\CLSID\\$clsid"
        "$classes\\Wow6432Node\\CLSID\\$clsid" "$classes\\Wow6432Node\\Interface\\$iid"
        "$classes\\HDD.CHDDObject" "$classes\\HDD.CHDDObject.1" "$classes\\Interface\\$iid"
        "$classes\\Interface\\$diid" "$classes\\Wow6432Node\\Interface\\$diid" "$classes\\TypeLib\\$libid"
        "$uninstall")
    if [[ $arch == win64 ]]; then
        own+=("$hklm_classes\\Interface\\$iid" "$hklm_classes\\Interface\\$diid"
            "$hklm_classes\\Wow6432Node\\Interface\\$iid" "$hklm_classes\\Wow6432Node\\Interface\\$diid")
    fi
    stray=$(changes clean "$snap" | OWN="$(printf '%s\n' "${own[@]}")" awk '
        BEGIN { n = split(tolower(ENVIRON["OWN"]), keys, "\n") }
        {
            if (substr($0, 1, 1) == "-") { print; next }
            line = tolower(substr($0, 3)); key = line; sub(/\t.*/, "", key)
            for (i = 1; i <= n; i++)
                if (keys[i] != "" && (key == keys[i] || index(key, keys[i] "\\") == 1)) next
            print
        }')
    if [[ -n $stray ]]; then
        fail "$name: changes outside the component's keys:"$'\n'"$stray"
    else
        ok "$name: changes only under the component's keys"
    fi
}

# expect_value <name> <snapshot> <key> <value line as reg export writes it>
expect_value() {
    if grep -q -i -x -F "$3"$'\t'"$4" "$work/$2.reg.txt"; then
        ok "$1: $4"
    else
        fail "$1: [$3] has no $4; it has:"$'\n'"$(grep -i -F "$3"$'\t' "$work/$2.reg.txt")"
    fi
}

# expect_files <name> <unix folder> <file...>: exactly these files are there.
expect_files() {
    local name=$1 dir=$2 got want
    shift 2
    got=$(cd "$dir" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
    want=$(printf '%s\n' "$@" | LC_ALL=C sort)
    if [[ "$got" != "$want" ]]; then
        fail "$name: files in $dir:"$'\n'"$got"$'\n'"expected:"$'\n'"$want"
    else
        ok "$name: files"
    fi
}

# uninstall_in_place <unix folder> <windows folder> [switch]: silent
# uninstall that waits (_?= keeps the uninstaller in place, so it stays
# behind alone), then removes that last file as a user would.
uninstall_in_place() {
    local words switches=(/S ${3:+"$3"})
    # The folder after _?= is taken to the end of the command line, unquoted.
    read -r -a words <<<"_?=$2"
    run "$1/uninstall.exe" "${switches[@]}" "${words[@]}"
    expect "uninstall.exe ${switches[*]} in $2" 0
    expect_files "left by the uninstaller" "$1" uninstall.exe
    rm -f "$1/uninstall.exe"
    rmdir "$1" 2>/dev/null || fail "$1 still has folders in it"
}

expect() {
    if [[ "$status" != "$2" ]]; then
        fail "$1: exit status $status, expected $2"$'\n'"$out"
    else
        ok "$1"
    fi
}

# ---- a fresh prefix (about ten seconds) -------------------------------------------
"$wine_run" cmd /c exit >/dev/null 2>&1 </dev/null || { echo "cannot start Wine in $prefix"; exit 1; }

# The JScript client: creates the object by ProgID and asks for the report.
cat >"$drive/client.js" <<'EOF'
var status;
try {
    var hdd = new ActiveXObject("HDD.CHDDObject");
    hdd.GetHardDiskInfo();
    WScript.Echo("created");
    status = 0;
} catch (e) {
    WScript.Echo("error: " + e.message);
    status = 2;
}
WScript.Echo("done");
WScript.Quit(status);
EOF
# Both script hosts in a 64-bit prefix: each must reach its own DLL.
client() {
    pushd "$drive" >/dev/null || return
    run cscript //nologo client.js
    if [[ $arch == win64 ]]; then
        local status32=$status out32=$out
        /usr/lib/wine/wine64 'C:\windows\system32\cscript.exe' //nologo client.js >"$work/out.txt" 2>&1 </dev/null
        status=$?
        out=$(tr -d '\r' <"$work/out.txt")
        [[ $status == "$status32" ]] || out="32-bit cscript: $out32"$'\n'"64-bit cscript: $out"
        [[ $status == "$status32" ]] || status="32-bit $status32, 64-bit $status"
    fi
    popd >/dev/null || return
}

# The script host registers its own library on first use: before the baseline.
client
expect "no component before the installation" 2
[[ "${out##*$'\n'}" == "done" ]] || fail "client: last line is not 'done': $out"
snapshot clean || exit 1

files=(HDD.dll hddiag.exe README.txt samples/run.js samples/run.vbs sdk/HDD.h sdk/HDD_i.c sdk/HDD.tlb)
zip_files=("${files[@]}" x64/HDD.dll)
machine=$drive/'Program Files/HDD'
machine_win='C:\Program Files\HDD'
hklm_classes='HKEY_LOCAL_MACHINE\Software\Classes'
hkcu_classes='HKEY_CURRENT_USER\Software\Classes'
entry='Software\Microsoft\Windows\CurrentVersion\Uninstall\HDD'
user_entry=$entry
# A 32-bit prefix's "32-bit view" is its only one.
class32='CLSID'
if [[ $arch == win64 ]]; then
    files+=(x64/HDD.dll)
    machine=$drive/'Program Files (x86)/HDD'
    machine_win='C:\Program Files (x86)\HDD'
    entry='Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\HDD'
    class32='Wow6432Node\CLSID'
fi
esc() { printf '%s' "${1//\\/\\\\}"; }  # a text as reg export quotes it

[[ $(basename "$setup") == "HDD-$version-setup.exe" ]] || fail "the setup program is named $(basename "$setup")"
[[ $(basename "$zip") == "HDD-$version-portable.zip" ]] || fail "the zip is named $(basename "$zip")"

# ---- the portable zip holds the files the setup program installs --------------
mkdir -p "$work/zip"
(cd "$work/zip" && "$cmake" -E tar xf "$zip") || fail "cannot unpack $zip"
expect_files "portable zip" "$work/zip/HDD-$version" "${zip_files[@]}"
for phrase in 'regsvr32 HDD.dll' 'regsvr32 /n /i:user HDD.dll' 'regsvr32 /u HDD.dll' \
    'regsvr32 x64\HDD.dll' 'regsvr32 /n /i:user x64\HDD.dll' 'regsvr32 /u x64\HDD.dll' \
    'cscript //nologo samples\run.js' 'cscript //nologo samples\run.vbs'; do
    grep -q -F "$phrase" "$work/zip/HDD-$version/README.txt" || fail "README.txt does not say '$phrase'"
done

# ---- install for every user -----------------------------------------------------
run "$setup" /S
expect "setup /S" 0
expect_files "installed" "$machine" "${files[@]}" uninstall.exe
for f in "${files[@]}"; do
    cmp -s "$machine/$f" "$work/zip/HDD-$version/$f" || fail "installed $f differs from the zip's"
done
snapshot installed
expect_only_own_keys "setup /S" installed "$hklm_classes" HKEY_LOCAL_MACHINE
dll_win=$(esc "$machine_win\\HDD.dll")
expect_value "class" installed "$hklm_classes\\$class32\\$clsid\\InprocServer32" "@=\"$dll_win\""
expect_value "ProgID" installed "$hklm_classes\\HDD.CHDDObject\\CLSID" "@=\"$clsid\""
expect_value "versioned ProgID" installed "$hklm_classes\\HDD.CHDDObject.1\\CLSID" "@=\"$clsid\""
expect_value "type library" installed "$hklm_classes\\TypeLib\\$libid\\1.0\\0\\win32" "@=\"$dll_win\""
if [[ $arch == win64 ]]; then
    dll64_win=$(esc "$machine_win\\x64\\HDD.dll")
    expect_value "64-bit class" installed "$hklm_classes\\CLSID\\$clsid\\InprocServer32" "@=\"$dll64_win\""
    expect_value "64-bit type library" installed "$hklm_classes\\TypeLib\\$libid\\1.0\\0\\win64" "@=\"$dll64_win\""
fi
expect_value "entry" installed "HKEY_LOCAL_MACHINE\\$entry" '"DisplayName"="HDD hard-disk diagnostics component"'
expect_value "entry" installed "HKEY_LOCAL_MACHINE\\$entry" "\"DisplayVersion\"=\"$version\""
expect_value "entry" installed "HKEY_LOCAL_MACHINE\\$entry" '"Publisher"="HDD project"'
expect_value "entry" installed "HKEY_LOCAL_MACHINE\\$entry" "\"InstallLocation\"=\"$(esc "$machine_win")\""
expect_value "entry" installed "HKEY_LOCAL_MACHINE\\$entry" \
    "\"UninstallString\"=\"\\\"$(esc "$machine_win\\uninstall.exe")\\\" /AllUsers\""
size_kib=$(($(find "$machine" -type f -exec cat {} + | wc -c) / 1024))
estimated=$(sed -n 's/.*\\Uninstall\\HDD\t"EstimatedSize"=dword:\([0-9a-f]*\)$/\1/ip' "$work/installed.reg.txt")
if [[ -z $estimated ]] || (($((16#$estimated)) < size_kib || $((16#$estimated)) > size_kib + 8)); then
    fail "EstimatedSize is '${estimated}' (hex), the files take $size_kib KiB"
fi
client
expect "creation by ProgID and GetHardDiskInfo" 0
run "$machine/hddiag.exe" info
expect "hddiag.exe info from the installation folder" 0

# ---- upgrade in place: the files are copied again, one entry stays -----------
echo "older" >"$machine/README.txt"
run "$setup" /S
expect "setup /S over the installation" 0
snapshot upgraded
upgrade_diff=$(changes installed upgraded)
[[ -z $upgrade_diff ]] || fail "the upgrade left other keys than the first installation:"$'\n'"$upgrade_diff"
cmp -s "$machine/README.txt" "$work/zip/HDD-$version/README.txt" || fail "the upgrade kept the old README.txt"
expect_files "upgraded" "$machine" "${files[@]}" uninstall.exe

# ---- upgrade into another folder: the installed version's own uninstaller
# unregisters it and removes its folder; the keys then name the new folder.
moved=$drive/HDDMoved
moved_win='C:\HDDMoved'
run "$setup" /S "/D=$moved_win"
expect "setup /S /D=$moved_win over the installation" 0
[[ ! -e $machine ]] || fail "the upgrade into $moved_win left $machine"
expect_files "moved" "$moved" "${files[@]}" uninstall.exe
snapshot moved
expect_only_own_keys "setup /S /D=$moved_win" moved "$hklm_classes" HKEY_LOCAL_MACHINE
expect_value "moved class" moved "$hklm_classes\\$class32\\$clsid\\InprocServer32" "@=\"$(esc "$moved_win\\HDD.dll")\""
expect_value "moved entry" moved "HKEY_LOCAL_MACHINE\\$entry" "\"InstallLocation\"=\"$(esc "$moved_win")\""
client
expect "creation by ProgID after the upgrade" 0

# ---- uninstall: everything goes -------------------------------------------------
uninstall_in_place "$moved" "$moved_win"
snapshot uninstalled
expect_no_changes "uninstall" uninstalled
client
expect "no creation by ProgID after the uninstall" 2

# ---- install for the current user only --------------------------------------------
run "$setup" /S /USER
expect "setup /S /USER" 0
snapshot per_user
expect_only_own_keys "setup /S /USER" per_user "$hkcu_classes" HKEY_CURRENT_USER
user_win=$(sed -n 's/^HKEY_CURRENT_USER\\.*\\Uninstall\\HDD\t"InstallLocation"="\(.*\)"$/\1/p' \
    "$work/per_user.reg.txt" | sed 's/\\\\/\\/g')
[[ $user_win == *'\AppData\Local\Programs\HDD' ]] || fail "per-user folder is '$user_win'"
user_dir=$drive/$(printf '%s' "${user_win#C:\\}" | tr '\\' /)
expect_files "installed for the user" "$user_dir" "${files[@]}" uninstall.exe
# Wine keeps one class key for both views of the user's classes: in a 64-bit
# prefix the 64-bit registration, made last, holds it.
user_dll=HDD.dll
[[ $arch == win64 ]] && user_dll='x64\HDD.dll'
expect_value "per-user class" per_user "$hkcu_classes\\CLSID\\$clsid\\InprocServer32" \
    "@=\"$(esc "$user_win\\$user_dll")\""
expect_value "per-user type library" per_user "$hkcu_classes\\TypeLib\\$libid\\1.0\\0\\win32" \
    "@=\"$(esc "$user_win\\HDD.dll")\""
expect_value "per-user entry" per_user "HKEY_CURRENT_USER\\$user_entry" "\"DisplayVersion\"=\"$version\""
# The uninstaller finds the scope by the entry that names its folder.
uninstall_in_place "$user_dir" "$user_win"
snapshot per_user_uninstalled
expect_no_changes "per-user uninstall" per_user_uninstalled

# ---- a registration that fails: HDD.dll cannot be loaded ---------------------------
WINEDLLOVERRIDES="mscoree,mshtml=;hdd=d" wine "$setup" /S >"$work/out.txt" 2>&1 </dev/null
status=$?
out=$(tr -d '\r' <"$work/out.txt")
expect "setup /S when regsvr32 fails" 3
[[ ! -e $machine ]] || fail "a failed installation left $machine"
snapshot failed
expect_no_changes "failed installation" failed

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed (prefix kept in $prefix)"
    exit 1
fi
stop_server
rm -rf "$prefix"
echo "all checks passed"
