#!/usr/bin/env bash
# Sets up, builds and runs the main job: the stand-in host runner loads the add-on as
# the host does and takes the whole product road with it, headless, against the
# loopback catalogue. Its output (the data root with the saved parts, and a picture of
# every dialog) goes to ./tarvel-run unless --out names another folder.
# It builds only what the road needs (the platform libraries, the add-on, the runner
# and cad2gdl); tools/test.sh builds the rest.
# Usage: tools/main.sh [--out DIR] [--cad FILE] [--data-sheet FILE] [--verbose] [--help]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"
"$root/tools/build.sh" "$root/build" "" tarvel-host cad2gdl
exec "$root/build/host/runner/tarvel-host" "$@"
