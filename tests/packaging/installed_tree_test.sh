#!/usr/bin/env bash
# Checks an installed pixquillcmd: the files of the install rules, man pages that groff
# renders without warnings, the program run from a photo folder with a relative -i and
# no -o (the JPEG lands next to the RAW file) and with the installed example profile, and
# the batch front end over that folder.
#   installed_tree_test.sh PREFIX MAKE_TEST_DNG   checks an installed tree (/usr for the package)
#   installed_tree_test.sh --install BUILD MAKE_TEST_DNG
#                                                 installs BUILD into a scratch prefix first
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [[ $1 == --install ]]; then
  cmake --install "$2" --prefix "$scratch/prefix" >/dev/null
  prefix=$scratch/prefix make_dng=$3
else
  prefix=$1 make_dng=$2
fi

fail() {
  echo "FAIL: $*"
  exit 1
}

doc=$prefix/share/doc/pixquillcmd
for file in bin/pixquillcmd share/man/man1/pixquillcmd.1.gz share/bash-completion/completions/pixquillcmd \
            bin/pixquillbatch share/man/man1/pixquillbatch.1.gz share/bash-completion/completions/pixquillbatch \
            share/doc/pixquillcmd/README.md share/doc/pixquillcmd/copyright \
            share/doc/pixquillcmd/examples/web.ini; do
  [[ -f $prefix/$file ]] || fail "$prefix/$file is not installed"
done
for program in pixquillcmd pixquillbatch; do
  [[ -x $prefix/bin/$program ]] || fail "$program is not executable"
  warnings=$(zcat "$prefix/share/man/man1/$program.1.gz" | groff -ww -z -man 2>&1)
  [[ -z $warnings ]] || fail "groff warns about the man page of $program: $warnings"
done

mkdir -p "$scratch/photos/shots" "$scratch/photos/web"
"$make_dng" "$scratch/photos/shots/IMG_0001.dng" --preview --exif >/dev/null
cd "$scratch/photos"
"$prefix/bin/pixquillcmd" -q -i shots/IMG_0001.dng || fail "the relative input was not converted (exit $?)"
[[ -s shots/IMG_0001.jpg ]] || fail "the JPEG is not next to its input: $(find . -name '*.jpg')"
"$prefix/bin/pixquillcmd" -q -i shots/IMG_0001.dng -o web --profile="$doc/examples/web.ini" ||
  fail "the example profile was refused (exit $?)"
[[ -s web/IMG_0001-web.jpg ]] || fail "the example profile's JPEG is missing: $(find . -name '*.jpg')"
# The installed batch front end runs the installed pixquillcmd beside it.
mkdir batch
"$prefix/bin/pixquillbatch" -q -o batch . || fail "the batch was not converted (exit $?)"
[[ -s batch/shots/IMG_0001.jpg ]] || fail "the batch's JPEG is missing: $(find batch)"
echo "installed tree in $prefix: files, man pages and relative runs all right"
