#!/usr/bin/env bash
# Sets up, builds and runs the main job: the CAD-data tool turns a shipped example
# product into its GDL master and 3D script text.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"
"$root/tools/build.sh" "$root/build"
example="${1:-$root/examples/table.xml}"
"$root/build/tools/cad2gdl/cad2gdl" "$example"
