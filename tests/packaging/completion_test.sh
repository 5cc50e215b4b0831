#!/usr/bin/env bash
# Sources the generated bash completion and checks what it offers for typed words, in a
# folder of RAW files (mixed letter case), other files and folders.
#   completion_test.sh BUILD/pixquillcmd.bash [BUILD/pixquillbatch.bash]
set -u
source "$1"
program=pixquillcmd
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
mkdir jpeg 'My Photos'
touch IMG_1.CR2 img_2.nef notes.txt .cr2 'My Photos/IMG_3.Dng' 'My Photos/list.txt' \
  'My Photos/IMG_4.CR3' 'My Photos/SAM_5.srw'
failures=0

# expect REPLIES WORD... : completes the last word as bash hands the words over ("=" is a
# word of its own there) and compares the sorted replies, joined by "|".
expect() {
  local expected=$1
  shift
  COMP_WORDS=("$program" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  "_$program"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd '|')
  if [[ $got != "$expected" ]]; then
    echo "FAIL: '$*' offers '$got', expected '$expected'"
    failures=$((failures + 1))
  fi
}

expect "--resize-algorithm=" --resize-al
expect "BICUBIC|BILINEAR|BOX|BSPLINE|CATMULLROM|LANCZOS" --resize-algorithm =
expect "BICUBIC|BILINEAR|BOX|BSPLINE|CATMULLROM|LANCZOS" --resize-algorithm = ""
expect "BICUBIC|BILINEAR|BOX|BSPLINE" --resize-algorithm = b
expect "48|48HS" --RAW-load-as = 4
expect "--raw-load-as=48|--raw-load-as=48HS" --raw-load-as=4
expect "jpg" -c ""
expect "" --width = ""
expect "" --wm-solid
# The help and version commands count only as the first word.
expect "--height-unit=|--height=|--help" --he
expect "--height-unit=|--height=" -q --he
# RAW files by extension in any letter case, and folders to look into.
expect "IMG_1.CR2|My Photos|img_2.nef|jpeg" -i ""
expect "My Photos/IMG_3.Dng|My Photos/IMG_4.CR3|My Photos/SAM_5.srw" -i 'My\ Photos/'
expect "My Photos" --input = '"My'
expect "My Photos|jpeg" -o ""
expect "notes.txt" --profile = n

# The batch front end: its own options beside pixquillcmd's, RAW files and folders for
# the words that are not options, and its own help in place of pixquillcmd's first words.
if (($# > 1)); then
  source "$2"
  program=pixquillbatch
  expect "--joblog=|--jobs=" --jo
  expect "--height-unit=|--height=|--help" --he
  expect "BICUBIC|BILINEAR|BOX|BSPLINE" --resize-algorithm = b
  expect "IMG_1.CR2|My Photos|img_2.nef|jpeg" -q ""
  expect "--transfer" -o jpeg --tr
  expect "--watch=" --wat
fi

if ((failures > 0)); then exit 1; fi
echo "completion: all cases passed"
