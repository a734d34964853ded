#!/usr/bin/env bash
# Configures and builds one tree. Usage: tools/build.sh [BUILD_DIR] [SANITIZER]
#   SANITIZER: empty, address (AddressSanitizer with UBSan) or thread.
#   TARVEL_JOBS sets the number of parallel compile jobs (default: all cores).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build}"
sanitize="${2:-}"
cmake -S "$root" -B "$dir" -G Ninja -DTARVEL_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -- -j"${TARVEL_JOBS:-$(nproc)}"
