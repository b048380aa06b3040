#!/usr/bin/env bash
# Builds with coverage, runs the whole suite and prints line and branch
# coverage of the library's folders.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test

cmake --preset coverage >/dev/null
cmake --build --preset coverage >/dev/null
find build/coverage -name '*.gcda' -delete
ctest --preset coverage --parallel 2 >build/coverage/ctest.log 2>&1 || { tail -n 30 build/coverage/ctest.log; exit 1; }
gcovr --root . --object-directory build/coverage --exclude-unreachable-branches --exclude-throw-branches \
  --filter 'interface/' --filter 'wav/' --filter 'recorder/' --filter 'platform/' \
  --json-summary build/coverage/summary.json >/dev/null 2>build/coverage/gcovr.log ||
  { tail -n 30 build/coverage/gcovr.log; exit 1; }
python3 - build/coverage/summary.json <<'PY'
import collections, json, sys
summary = json.load(open(sys.argv[1]))
folders = collections.OrderedDict((f, [0, 0, 0, 0]) for f in ("interface", "wav", "recorder", "platform"))
for entry in summary["files"]:
    folder = entry["filename"].split("/")[0]
    if folder in folders:
        totals = folders[folder]
        totals[0] += entry["line_covered"]; totals[1] += entry["line_total"]
        totals[2] += entry["branch_covered"]; totals[3] += entry["branch_total"]
print("| folder | lines | branches |")
print("|---|---:|---:|")
pct = lambda a, b: f"{100.0 * a / b:.1f} % ({a}/{b})" if b else "-"
for folder, (lc, lt, bc, bt) in folders.items():
    print(f"| {folder}/ | {pct(lc, lt)} | {pct(bc, bt)} |")
PY
