#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang (AddressSanitizer and UBSan) in
# build-fuzz and runs each for a bounded time, from its seed corpus in fuzz/corpus.
# A fault stops the run; its input is kept in build-fuzz/fuzz/findings/HARNESS/.
# Usage: tools/fuzz.sh [SECONDS_PER_HARNESS] [HARNESS...]   (default 30 s, all of them)
set -euo pipefail
usage="usage: tools/fuzz.sh [SECONDS_PER_HARNESS] [HARNESS...]"
all=(cad clipboard datacfg datasheet repository settings zip)
refuse() {
  echo "fuzz.sh: $1" >&2
  echo "$usage" >&2
  exit 2
}
case "${1:-}" in
  -h | --help)
    echo "$usage"
    echo "  builds the libFuzzer harnesses with clang in build-fuzz and runs each for that many"
    echo "  seconds (default 30) from its seed corpus; HARNESS: ${all[*]} (default: all)"
    exit 0 ;;
esac
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || refuse "$seconds is no number of seconds"
shift || true
harnesses=("$@")
for h in "${harnesses[@]}"; do
  [[ " ${all[*]} " == *" $h "* ]] || refuse "no harness $h (there are ${all[*]})"
done
if [ ${#harnesses[@]} -eq 0 ]; then harnesses=("${all[@]}"); fi

"$root/tools/setup.sh"
dir="$root/build-fuzz"
cmake -S "$root" -B "$dir" -G Ninja -DTARVEL_SANITIZE=fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" --target fuzzers -- -j"${TARVEL_JOBS:-$(nproc)}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=0
for h in "${harnesses[@]}"; do
  corpus="$dir/fuzz/corpus/$h"
  findings="$dir/fuzz/findings/$h"
  mkdir -p "$corpus" "$findings"
  log="$dir/fuzz/$h.log"
  # New inputs go to the working corpus; the seeds in the tree stay as they are.
  if "$dir/fuzz/fuzz_$h" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -max_len=65536 \
      -artifact_prefix="$findings/" "$corpus" "$root/fuzz/corpus/$h" >"$log" 2>&1; then
    echo "fuzz $h: $(grep -o 'Done [0-9]* runs' "$log" | tail -1), no fault"
  else
    echo "fuzz $h: FAULT (input kept in $findings)"
    tail -60 "$log"
    failed=1
  fi
done
exit $failed
