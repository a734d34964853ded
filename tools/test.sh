#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
# Usage: tools/test.sh [address|thread]   (a sanitizer build in its own tree)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sanitize="${1:-}"
dir="$root/build${sanitize:+-$sanitize}"

"$root/tools/setup.sh"
"$root/tools/build.sh" "$dir" "$sanitize"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"
cd "$dir"
ctest --output-on-failure -j"${TARVEL_JOBS:-$(nproc)}"
