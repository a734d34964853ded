#!/usr/bin/env bash
# Configures and builds one tree.
# Usage: tools/build.sh [BUILD_DIR] [SANITIZER] [TARGET...]
#   SANITIZER: empty, address (AddressSanitizer with UBSan) or thread.
#   TARGET: only these targets and what they need (default: everything).
#   TARVEL_JOBS sets the number of parallel compile jobs (default: all cores).
set -euo pipefail
case "${1:-}" in
  -h | --help)
    echo "usage: tools/build.sh [BUILD_DIR] [SANITIZER] [TARGET...]"
    echo "  BUILD_DIR: the build folder (default: build in the source tree)"
    echo "  SANITIZER: empty, address (AddressSanitizer with UBSan) or thread"
    echo "  TARGET: only these targets and what they need (default: everything)"
    echo "  TARVEL_JOBS sets the number of parallel compile jobs (default: all cores)"
    exit 0 ;;
esac
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
sanitize="${2:-}"
targets=("${@:3}")
cmake -S "$root" -B "$dir" -G Ninja -DTARVEL_SANITIZE="$sanitize" >/dev/null
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" --target "${targets[@]}" -- -j"${TARVEL_JOBS:-$(nproc)}"
else
  cmake --build "$dir" -- -j"${TARVEL_JOBS:-$(nproc)}"
fi
