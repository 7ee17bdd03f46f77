#!/usr/bin/env bash
# The Debian package: built with CPack, lintian clean of errors, stripped
# (the debug information in the -dbgsym package), without maintainer
# scripts; installed, it runs a text and a PDF report; removed, it leaves
# nothing, not even an "rc" line in dpkg -l.
#   package.sh BUILDDIR WORKDIR
# Exit status: 0 passed, 1 failed, 77 skipped (not root, no dpkg, or a
# kelvordantix package is installed already and is left alone).
set -u
build=$(realpath "$1")
work=$2
command -v dpkg-deb > /dev/null && command -v dpkg-shlibdeps > /dev/null || { echo "SKIPPED: dpkg-dev is missing"; exit 77; }
[ "$(id -u)" = 0 ] || { echo "SKIPPED: installing a package needs root"; exit 77; }
if dpkg-query -W -f '${Status}' kelvordantix 2>/dev/null | grep -q installed; then
  echo "SKIPPED: a kelvordantix package is installed already"; exit 77
fi
rm -rf "$work"; mkdir -p "$work"; cd "$work" || exit 1
failed=0
fail() { echo "FAILED: $*"; failed=1; }
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" > cpack.log 2>&1 || { cat cpack.log; exit 1; }
deb=$(ls kelvordantix_*.deb) && ls kelvordantix-dbgsym_*.ddeb > /dev/null || { fail "no package and -dbgsym package"; exit 1; }

dpkg-deb -e "$deb" control
extra=$(ls control | grep -v -x -e control -e md5sums)
[ -z "$extra" ] || fail "maintainer scripts: $extra"
if command -v lintian > /dev/null; then
  lintian --no-tag-display-limit "$deb" > lintian.txt 2>&1
  grep '^E:' lintian.txt && fail "lintian errors"
fi
size=$(dpkg-deb -f "$deb" Installed-Size)
# SQLite is linked into the program (about 1.5 MB); an unstripped build is
# several times the limit.
[ "$size" -lt 3000 ] || fail "installed size $size KB"

# dpkg (run as apt would) waits while apt or another dpkg holds its lock.
dpkg_locked() {  # dpkg-arguments...
  local i
  for i in $(seq 1 60); do
    DEBIAN_FRONTEND=noninteractive dpkg "$@" > dpkg.log 2>&1 && return 0
    grep -q 'lock' dpkg.log || break
    sleep 1
  done
  cat dpkg.log
  return 1
}
dpkg_locked -i "$deb" || fail "dpkg -i"
trap 'dpkg -r kelvordantix > /dev/null 2>&1' EXIT
file /usr/bin/kelvordantix /usr/libexec/kelvordantix/*.so | grep -v ', stripped' && fail "not stripped"
sqlite3 t.db "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE); INSERT INTO dual VALUES('X', '2026-12-08 10:30:00');"
printf '.PRINT $$DATE$$\n' > date.rpt
/usr/bin/kelvordantix -q date.rpt out.txt @t.db || fail "the installed program does not run"
[ "$(head -n 1 out.txt)" = 08/12/26 ] || fail "the installed program's report"
/usr/bin/kelvordantix -q date.rpt out.pdf @t.db || fail "the installed program makes no PDF"
[ "$(head -c 5 out.pdf)" = "%PDF-" ] || fail "the installed program's PDF"

dpkg_locked -r kelvordantix || fail "dpkg -r"
trap - EXIT
state=$(dpkg-query -W -f '${db:Status-Abbrev}' kelvordantix 2>/dev/null)
[ -z "$state" ] || [ "$state" = "un " ] || fail "dpkg -l still lists the package: '$state'"
for path in /usr/bin/kelvordantix /usr/libexec/kelvordantix /usr/share/doc/kelvordantix; do
  [ -e "$path" ] && fail "left after removal: $path"
done
exit $failed
