#!/usr/bin/env bash
# Sets up, builds and runs the main job: the stand-in host runner loads the add-on as
# the host does and takes the whole product road with it, headless, against the
# loopback catalogue. Its output (the data root with the saved parts, and a picture of
# every dialog) goes to ./tarvel-run unless --out names another folder.
# It builds only what the road needs (the platform libraries, the add-on, the runner
# and cad2gdl); tools/test.sh builds the rest. The options are checked before anything
# is set up or built.
# Usage: tools/main.sh [--out DIR] [--cad FILE] [--data-sheet FILE] [--verbose] [--help]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
usage="usage: tools/main.sh [--out DIR] [--cad FILE] [--data-sheet FILE] [--verbose] [--help]"

help() {
  cat <<TEXT
$usage

Sets up and builds what the main job needs (only what changed), then runs it: the
stand-in host loads the add-on as the host does and takes a user's whole road with
it, headless: the start-up, a product added from the loopback catalogue and modified
in the configurator, undo and redo, the clean-up and the unload. Exits 0 when the
whole road went as it should, 1 when a step failed, 2 for wrong options or folders,
130 or 143 when Ctrl-C or SIGTERM ended it.

  --out DIR          the data root, the saved parts and the pictures (default ./tarvel-run);
                     a new or empty folder, or one an earlier run made (--out=DIR too)
  --cad FILE         your own CAD data for the product: without --data-sheet it is
                     a plain object named after the file, placed with the object tool
  --data-sheet FILE  your own data sheet for the product (its subtype makes it a door,
                     a window or a skylight; examples/data-sheets has one of each)
  --verbose          also the host-contract details: export table, registrations,
                     dialog resource and item numbers
  --help             this text
TEXT
}

refuse() {
  echo "main.sh: $1" >&2
  echo "$usage" >&2
  exit 2
}

# The options, as the runner reads them, checked before the set-up and the build.
given=" "
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  arg="${args[$i]}"
  case "$arg" in
    -h | --help) help; exit 0 ;;
  esac
  name="${arg%%=*}"
  case "$name" in
    --verbose)
      [ "$name" = "$arg" ] || refuse "unknown option $arg" ;;
    --out | --cad | --data-sheet)
      if [ "$name" != "$arg" ]; then
        value="${arg#*=}"
      elif ((i + 1 < ${#args[@]})) && [[ "${args[$((i + 1))]}" != --* ]]; then
        i=$((i + 1))
        value="${args[$i]}"
      else
        value=""
      fi
      what="a file"
      [ "$name" = --out ] && what="a folder"
      [ -n "$value" ] || refuse "$name needs $what after it"
      if [ "$name" = --out ]; then
        if [ -e "$value" ] && [ ! -d "$value" ]; then
          refuse "$value is a file, not a folder; give a new or empty folder with --out"
        fi
      elif [ ! -e "$value" ]; then
        refuse "$name: $value does not exist"
      elif [ -d "$value" ]; then
        refuse "$name: $value is a folder, not a file"
      elif [ ! -r "$value" ]; then
        refuse "$name: $value cannot be read"
      elif [ ! -s "$value" ]; then
        refuse "$name: $value is empty"
      fi ;;
    *) refuse "unknown option $arg" ;;
  esac
  case "$given" in
    *" $name "*) refuse "$name is given twice" ;;
  esac
  given="$given$name "
done

"$root/tools/setup.sh"
# Ninja's word that there was nothing to build, and its look at the globbed folders,
# are no news to the user.
"$root/tools/build.sh" "$root/build" "" tarvel-host cad2gdl | sed -u -e '/^ninja: no work to do\.$/d' -e '/^\[0\/[0-9]*\] Re-checking globbed directories\.\.\.$/d'
exec "$root/build/host/runner/tarvel-host" "$@"
