#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time on its seed corpus.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target ...]
#   targets: fuzz_reportdocument fuzz_tagparser fuzz_layout fuzz_settings fuzz_export (default: all)
# Environment: FUZZ_BUILD_DIR (default build-fuzz in the source tree), FUZZ_JOBS (build jobs, 2).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-60}"
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(fuzz_reportdocument fuzz_tagparser fuzz_layout fuzz_settings fuzz_export)
fi

# clang and its fuzzer runtime, only if missing.
packages=(clang libclang-rt-14-dev)
source "$(dirname "${BASH_SOURCE[0]}")/packages.sh"
ensure_packages fuzz "${packages[@]}"

echo "fuzz: configuring $build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLABELPRINTER_FUZZ=ON -DLABELPRINTER_BENCH=OFF >/dev/null
echo "fuzz: building ${targets[*]}"
cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target "${targets[@]}"

# Runs work on a copy of the seeds so the corpus in the tree stays small and reviewed.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

summary=()
status=0
for target in "${targets[@]}"; do
  name="${target#fuzz_}"
  corpus="$work/$name"
  mkdir -p "$corpus"
  cp "$root/fuzz/corpus/$name/"* "$corpus/"
  dict=()
  if [ -f "$root/fuzz/$name.dict" ]; then
    dict=(-dict="$root/fuzz/$name.dict")
  fi
  options=()
  asan=""
  if [ "$target" = fuzz_layout ]; then
    # Qt's JSON parser leaks on some malformed files (see fuzz/lsan.supp); the suppression can only
    # match with full stacks, which the fast unwinder does not give through Qt.
    asan="fast_unwind_on_malloc=0"
  fi
  if [ "$target" = fuzz_settings ]; then
    # Each input loads a fresh settings store, which registers its types with QML again; the leak
    # check would read that growth as a leak and scan the whole heap after every input.
    options=(-detect_leaks=0)
  fi
  log="$build/$target.log"
  echo "fuzz: running $target for ${seconds}s (log $log)"
  # -timeout catches hangs, -rss_limit_mb runaway memory; a finding exits non-zero.
  if ASAN_OPTIONS="$asan" LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp" \
      "$build/fuzz/$target" "$corpus" "${dict[@]}" "${options[@]}" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
      >"$log" 2>&1; then
    runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
    summary+=("$target: $runs executions, clean")
  else
    status=1
    summary+=("$target: FAILED, see $log and $artifacts")
  fi
done

echo "fuzz: summary"
for line in "${summary[@]}"; do
  echo "  $line"
done
exit "$status"
