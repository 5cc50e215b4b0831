#!/usr/bin/env bash
# scripts/package.sh as root on a machine where a pixquillcmd is installed already: that
# copy must stay. The machine's package tools are stood in for on PATH: dpkg-query reports
# the installed copy, apt-get fails any call (and logs it), cpack packs the build's install
# tree with dpkg-deb, lintian finds nothing. Nothing on the machine changes.
#   package_script_test.sh BUILD MAKE_TEST_DNG
set -euo pipefail
build=$(realpath "$1") make_dng=$(realpath "$2")
repo=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin" "$scratch/build/tests"
ln -s "$make_dng" "$scratch/build/tests/make_test_dng"

stub() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$scratch/bin/$1" && chmod +x "$scratch/bin/$1"; }
stub id 'echo 0'
stub dpkg-query 'case "$*" in
  *db:Status-Status*pixquillcmd*) echo "installed 3.1-1" ;;
  *) echo "install ok installed" ;;
esac'
stub apt-get "echo \"apt-get \$*\" >>'$scratch/apt-get.log'; exit 1"
stub lintian 'exit 0'
stub cpack "stage=\$(mktemp -d)
cmake --install '$build' --prefix \"\$stage/usr\" >/dev/null
mkdir \"\$stage/DEBIAN\"
printf 'Package: pixquillcmd\nVersion: 3.2-1\nArchitecture: amd64\nMaintainer: t <t@example.org>\nDescription: t\n' \\
  >\"\$stage/DEBIAN/control\"
dpkg-deb --root-owner-group --build \"\$stage\" pixquillcmd_3.2-1_amd64.deb >/dev/null
rm -rf \"\$stage\""

status=0
output=$(PATH="$scratch/bin:$PATH" BUILD_DIR="$scratch/build" bash "$repo/scripts/package.sh" 2>&1) || status=$?
fail() {
  echo "$output"
  echo "FAIL: $*"
  exit 1
}
[[ ! -e $scratch/apt-get.log ]] || fail "package.sh ran $(cat "$scratch/apt-get.log") over the installed copy"
[[ $status == 0 ]] || fail "package.sh ended with $status"
[[ $output == *"pixquillcmd 3.1-1 is installed (installed): left as it is"* ]] || fail "the kept copy is not named"
echo "package.sh left the installed copy alone and checked the package in a scratch root"
