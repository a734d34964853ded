#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
# Usage: tools/test.sh [address|thread]   (a sanitizer build in its own tree)
set -euo pipefail
usage="usage: tools/test.sh [address|thread]"
case "${1:-}" in
  -h | --help)
    echo "$usage"
    echo "  sets up, builds everything and runs the whole suite; address (AddressSanitizer with"
    echo "  UBSan) or thread (ThreadSanitizer) in a tree of its own, build-address or build-thread"
    echo "  TARVEL_JOBS sets the number of compile jobs and tests at a time (default: all cores)"
    exit 0 ;;
  "" | address | thread) ;;
  *) echo "test.sh: unknown option $1" >&2; echo "$usage" >&2; exit 2 ;;
esac
if [ $# -gt 1 ]; then echo "test.sh: one option at most" >&2; echo "$usage" >&2; exit 2; fi
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
