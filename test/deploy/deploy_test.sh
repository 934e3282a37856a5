#!/usr/bin/env bash
# The Debian package, its manual page, the systemd units and the Ansible
# playbook, checked with the tools that judge them:
#
#   deploy_test.sh SOURCE_DIR BUILD_DIR VERSION
#
# Builds the package with CPack into BUILD_DIR/deb, then: lintian reports no
# error; man renders the page without a warning; the package holds what it
# should and its hddiag runs from a scratch folder; systemd-analyze verifies
# the units (a copy whose ExecStart is that hddiag, since the installed path
# does not exist here); ansible-playbook and ansible-lint accept the playbook.
set -euo pipefail

src=$1
build=$2
version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0

fail() {
    echo "FAILED: $*" >&2
    failed=1
}

echo "== cpack"
rm -f "$build"/deb/hddiag_*.deb
cpack --config "$build/CPackConfig.cmake" -B "$build/deb" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack"; exit 1; }
debs=("$build"/deb/hddiag_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { fail "cpack made no single hddiag_*.deb"; exit 1; }
deb=${debs[0]}
echo "$(basename "$deb")"

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

echo "== files"
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }'
dpkg-deb -x "$deb" "$scratch/root"
expected=(
    ./usr/bin/hddiag
    ./usr/share/man/man1/hddiag.1.gz
    ./lib/systemd/system/hddiag.service
    ./lib/systemd/system/hddiag.timer
    ./lib/systemd/system/hddiag-scan.service
    ./lib/systemd/system/hddiag-scan.timer
    ./usr/share/doc/hddiag/copyright
    ./usr/share/doc/hddiag/changelog.gz
)
# The alerting rules ship once they are written.
[[ ! -f $src/deploy/prometheus/hddiag.rules.yml ]] ||
    expected+=(./usr/share/doc/hddiag/examples/hddiag.rules.yml
               ./usr/share/doc/hddiag/examples/hddiag-health.rules.yml)
for f in "${expected[@]}"; do
    [[ -f $scratch/root/$f ]] || fail "the package lacks $f"
done
file -b "$scratch/root/usr/bin/hddiag" | grep -q ', stripped' || fail "usr/bin/hddiag is not stripped"
dpkg-deb -f "$deb" Depends | grep -q 'libblkid1' || fail "Depends does not name libblkid1 (shlibdeps)"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
[[ $(dpkg-deb -f "$deb" Recommends) == smartmontools ]] || fail "Recommends is not smartmontools"

echo "== hddiag from the package"
hddiag=$scratch/root/usr/bin/hddiag
[[ $("$hddiag" --version) == "hddiag $version" ]] || fail "hddiag --version is not 'hddiag $version'"
"$hddiag" --machine builtin info >"$scratch/info.txt" || fail "hddiag --machine builtin info"
grep -q 'C:' "$scratch/info.txt" || fail "hddiag --machine builtin info shows no C:"

echo "== man"
zcat "$scratch/root/usr/share/man/man1/hddiag.1.gz" >"$scratch/hddiag.1"
MANWIDTH=80 man --warnings -l "$scratch/hddiag.1" >"$scratch/man.txt" 2>"$scratch/man.err" || fail "man"
if [[ -s $scratch/man.err ]]; then
    cat "$scratch/man.err"
    fail "man --warnings warns"
fi
grep -q "hddiag $version" "$scratch/man.txt" || fail "the manual page does not carry the version"

echo "== systemd-analyze verify"
mkdir "$scratch/units"
for unit in hddiag hddiag-scan; do
    sed "s|^ExecStart=/usr/bin/hddiag |ExecStart=$hddiag |" "$src/deploy/systemd/$unit.service" \
        >"$scratch/units/$unit.service"
    cp "$src/deploy/systemd/$unit.timer" "$scratch/units/"
    grep -q "^ExecStart=$hddiag " "$scratch/units/$unit.service" || fail "$unit: ExecStart not redirected"
done
rc=0
# Documentation=man:hddiag(1) is looked up too: in the package's pages.
MANPATH=$scratch/root/usr/share/man systemd-analyze verify "$scratch"/units/*.service "$scratch"/units/*.timer \
    2>"$scratch/verify.err" || rc=$?
if [[ $rc -ne 0 || -s $scratch/verify.err ]]; then
    cat "$scratch/verify.err"
    fail "systemd-analyze verify: exit $rc"
fi

echo "== ansible"
playbook=$src/deploy/ansible/hddiag.yml
ansible-playbook --syntax-check -i localhost, "$playbook" || fail "ansible-playbook --syntax-check"
(cd "$src" && ansible-lint --offline --nocolor "$playbook") || fail "ansible-lint"

[[ $failed -eq 0 ]] && echo "deploy: all checks passed"
exit $failed
