#!/usr/bin/env bash
# Installs the Debian package built in BUILD_DIR into this machine, runs the
# installed programs on a database the tests' writer builds, checks the
# desktop entry with desktop-file-validate and the package with lintian
# (errors fail), and removes the package again, also when a check fails:
# scripts/check-deb.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
if [ ! -x "$build/tests/build_test_database" ]; then
  echo "check-deb.sh: $build has no tests/build_test_database; package a build made with the tests" >&2
  exit 1
fi
work="$(mktemp -d)"

remove() {
  $sudo_cmd env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vondrel >/dev/null
  rm -rf "$work"
}

(cd "$build" && $sudo_cmd env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./vondrel_*.deb >/dev/null)
trap remove EXIT

echo "-- installed programs"
/usr/bin/vondrel --version
/usr/bin/vondrel-jet --version
"$build/tests/build_test_database" "$work/Data.MDB"
/usr/bin/vondrel-jet check "$work/Data.MDB"
repaired="$(/usr/bin/vondrel-jet repair "$work/Data.MDB")"
[ "$repaired" = "Repair was successful!" ] || { echo "repair said: $repaired" >&2; exit 1; }
[ -f "$work/Data.mdb" ] && [ ! -e "$work/Data.MDB" ] || { echo "the repaired file is not Data.mdb" >&2; exit 1; }
/usr/bin/vondrel-jet info --json "$work/Data.mdb" | grep -q '"name":"Orders"'
echo "Data.MDB repaired to Data.mdb by the installed vondrel-jet"

echo "-- desktop-file-validate"
desktop-file-validate /usr/share/applications/vondrel.desktop
echo "-- lintian"
lintian --fail-on error "$build"/vondrel_*.deb
