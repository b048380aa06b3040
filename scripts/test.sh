#!/usr/bin/env bash
# The whole test suite, as CI runs it: builds with warnings as errors (g++ and
# clang), the tests in an optimised build and under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer, half a minute of
# differential fuzzing per target, clang-format and clang-tidy, and coverage;
# the Windows builds (x86-64 and 32-bit x86) with their tests under Wine, and
# the Windows ARM64 build (zig) with its DLL's tables checked; the
# armhf and arm64 cross builds with their tests under qemu-arm and
# qemu-aarch64; and the packages a user installs, Debian's (native, armhf and
# arm64) and the Windows zips, each built,
# installed or unpacked, and used.
# TARNWICK_QUICK=1 runs only the optimised build's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test

passed=0
failed=0
skipped=0
summary() { echo "tarnwick: $passed passed, $failed failed, $skipped skipped"; }
# Runs one CTest preset and adds its counts to the totals. The fixtures that
# start and stop the Wine prefix and the virtual audio device are not tests
# and are not counted. In CI a skipped test fails the run: every skip is for
# want of something the CI machine is meant to have.
run_suite() {
  local preset=$1 log
  log=$(mktemp)
  echo "== tests: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
  if ctest --preset "$preset" --parallel 2 --output-on-failure >"$log" 2>&1; then status=0; else status=1; fi
  local counts p f s
  counts=$(awk '/ Test +#[0-9]+: / {
      name = $0; sub(/.* Test +#[0-9]+: /, "", name); sub(/ .*/, "", name)
      if (name ~ /^(wine_prefix|virtual_audio)_(start|stop)$/) next
      if ($0 ~ /\*\*\*Skipped/) { s++; print "skipped: " name > "/dev/stderr" } else if ($0 ~ / Passed /) p++; else f++
    } END { print p + 0, f + 0, s + 0 }' "$log" 2>"$log.skipped")
  read -r p f s <<<"$counts"
  echo "   $p passed, $f failed, $s skipped"
  cat "$log.skipped"
  if [ "${CI:-}" = true ] && [ "$s" -gt 0 ]; then
    echo "tarnwick: tests skipped in CI, which has everything they need"
    status=1
  fi
  if [ "$status" -ne 0 ]; then
    grep -E 'Failed|\*\*\*' "$log" | head -n 20 || true
    # What the failing tests printed the first time, which a rerun may not repeat.
    grep -E -B 2 -A 25 'Failure|FAILED  \]' "$log" | head -n 120 || true
    # The failing tests' output, for the CI log.
    ctest --preset "$preset" --rerun-failed --output-on-failure 2>&1 | tail -n 60 || true
  fi
  rm -f "$log" "$log.skipped"
  passed=$((passed + p))
  failed=$((failed + f))
  skipped=$((skipped + s))
  [ "$status" -eq 0 ] || { summary; exit 1; }
}

run_suite ci
if [ "${TARNWICK_QUICK:-0}" != 1 ]; then
  # The sanitizer builds are the clang builds with warnings as errors.
  run_suite asan
  run_suite tsan
  echo "== windows: MinGW-w64 builds of the DLL and the tests, run under Wine"
  run_suite windows-x64
  run_suite windows-x86
  # Windows on ARM64: built with zig; the DLL's tables checked with llvm-readobj.
  run_suite windows-arm64
  # Linux armhf: cross-built, its whole suite under qemu-arm.
  run_suite armhf
  # Linux arm64: cross-built, its whole suite under qemu-aarch64.
  run_suite arm64
  echo "== fuzzing"
  bash fuzz/run.sh "${TARNWICK_FUZZ_SECONDS:-30}"
  echo "== static checks"
  bash scripts/static-checks.sh
  echo "== coverage"
  bash scripts/coverage.sh
  echo "== packages: Debian (amd64, armhf, arm64) and the Windows zips"
  for check in deb_packages_test.sh "deb_packages_test.sh armhf" "deb_packages_test.sh arm64" \
    "windows_zip_test.sh build/windows-x64" "windows_zip_test.sh build/windows-x86" \
    "windows_zip_test.sh build/windows-arm64"; do
    # shellcheck disable=SC2086 # each check is a script and its argument
    if bash tests/packaging/$check; then passed=$((passed + 1)); else
      failed=$((failed + 1))
      summary
      exit 1
    fi
  done
fi
summary
