#!/usr/bin/env bash
# The tools in a tree without a build folder: their usage, and option mistakes named,
# before any set-up or build.
#   MainHelp.sh SOURCE_DIR WORK_DIR
set -uo pipefail
source="$1"
tree="$2/tree"
rm -rf "$tree"
mkdir -p "$tree/tools"
# Only the scripts: a set-up or a build would fail here.
cp "$source"/tools/*.sh "$tree/tools/"

fail() {
  echo "FAILED: $*"
  cat "$tree.log"
  exit 1
}

check() {
  local code="$1" text="$2"
  shift 2
  "$@" >"$tree.log" 2>&1
  local got=$?
  [ "$got" = "$code" ] || fail "$* exited with $got, not $code"
  grep -q -- "$text" "$tree.log" || fail "$* does not say: $text"
  ! grep -q -i "ninja\|setup:\|cmake" "$tree.log" || fail "$* set up or built"
  [ ! -e "$tree/build" ] || fail "$* made a build folder"
}

check 0 "^usage: tools/main.sh \[--out DIR\]" "$tree/tools/main.sh" --help
! grep -q -- "--addon" "$tree.log" || fail "the usage offers the runner's own --addon"
grep -q -- "--data-sheet FILE" "$tree.log" || fail "the usage lacks --data-sheet"
check 0 "^usage: tools/main.sh" "$tree/tools/main.sh" --verbose -h
for mistake in "unknown option --fast|--fast" "unknown option --addon|--addon|x" "--out needs a folder after it|--out" \
    "--out is given twice|--out=a|--out|b" "--cad: $tree/none.xml does not exist|--cad|$tree/none.xml" \
    "--data-sheet: $tree is a folder, not a file|--data-sheet=$tree" "--cad: /dev/null is empty|--cad|/dev/null"; do
  IFS='|' read -r -a fields <<<"$mistake"
  check 2 "^main.sh: ${fields[0]}" "$tree/tools/main.sh" "${fields[@]:1}"
done
check 0 "^usage: tools/build.sh \[BUILD_DIR\]" "$tree/tools/build.sh" --help
[ ! -e "$tree/--help" ] || fail "build.sh took --help for its build folder"
check 0 "^usage: tools/test.sh \[address|thread\]" "$tree/tools/test.sh" --help
check 2 "^test.sh: unknown option --fast" "$tree/tools/test.sh" --fast
check 0 "^usage: tools/fuzz.sh \[SECONDS_PER_HARNESS\]" "$tree/tools/fuzz.sh" -h
check 2 "^fuzz.sh: ten is no number of seconds" "$tree/tools/fuzz.sh" ten
check 2 "^fuzz.sh: no harness xml" "$tree/tools/fuzz.sh" 5 cad xml
[ ! -e "$tree/build-fuzz" ] && [ ! -e "$tree/build---fast" ] || fail "a mistake made a build folder"
echo "passed"
