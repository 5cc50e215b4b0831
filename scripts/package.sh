#!/usr/bin/env bash
# Makes the Debian package from a finished build folder (./scripts/test.sh leaves one),
# checks it with lintian, installs it, runs the installed program on a generated RAW file
# from another folder (relative -i, no -o), and removes it again.
#   ./scripts/package.sh              BUILD_DIR=build by default
# As root (CI) the package goes in and out with apt-get, unless a pixquillcmd is installed
# already; otherwise it is unpacked into a scratch root with dpkg-deb -x, and nothing on the
# machine changes.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"

# dpkg-shlibdeps (dpkg-dev) and file find the Depends; lintian checks the result.
./scripts/install-packages.sh dpkg-dev file lintian

rm -f "$BUILD_DIR"/pixquillcmd_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
deb=$(realpath "$BUILD_DIR"/pixquillcmd_*.deb)
make_dng=$(realpath "$BUILD_DIR/tests/make_test_dng")
echo "package: $deb"
echo "Depends: $(dpkg-deb --field "$deb" Depends)"

# Errors fail the run. Warnings are shown; the one expected concerns Debian's own archive
# (a first upload that closes no bug report), which this package never enters.
if ! report=$(lintian --fail-on error "$deb" 2>&1); then
  echo "$report"
  echo "FAIL: lintian reports errors"
  exit 1
fi
report=$(grep -v "root privileges" <<< "$report" || true)
echo "lintian: ${report:-no tags}"

# The package unpacked into a scratch root: nothing on the machine changes.
check_in_scratch_root() {
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root"
  bash tests/packaging/installed_tree_test.sh "$root/usr" "$make_dng"
}

if [ "$(id -u)" -ne 0 ]; then
  check_in_scratch_root
  exit 0
fi

# A pixquillcmd already on the machine (the user's own, in any state but removed) stays as
# it is: installing this package over it and removing it afterwards would take it away.
installed=$(dpkg-query -W -f='${db:Status-Status} ${Version}' pixquillcmd 2>/dev/null || true)
case ${installed%% *} in
  "" | not-installed | config-files) ;;
  *)
    echo "pixquillcmd ${installed#* } is installed (${installed%% *}): left as it is, the package is checked in a scratch root"
    check_in_scratch_root
    exit 0
    ;;
esac

export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends "$deb" >/dev/null
bash tests/packaging/installed_tree_test.sh /usr "$make_dng"
apt-get remove -y pixquillcmd >/dev/null
for path in $(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\.||'); do
  [ -d "$path" ] && continue
  if [ -e "$path" ]; then echo "FAIL: $path is left after apt-get remove"; exit 1; fi
done
[ ! -d /usr/share/doc/pixquillcmd ] || { echo "FAIL: /usr/share/doc/pixquillcmd is left"; exit 1; }
echo "apt-get installed the package and removed every file of it again"
