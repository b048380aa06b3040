#!/usr/bin/env bash
# The Windows zip as a user meets it: made by CPack from a windows-* build
# tree, holding exactly the files it should, unpacked, and used under Wine by
# C programs built against nothing but the unpacked files (one linked with the
# import library, one with an import library made from the export table by
# dlltool) and by the unpacked tarnwick.exe.
# Usage: tests/packaging/windows_zip_test.sh BUILD_DIR   (a built windows-x64
# or windows-x86 tree, whose Wine prefix the programs run in; or a
# windows-arm64 tree, whose programs are only linked)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
fail() { echo "windows zip: $*" >&2; exit 1; }
case "$(basename "$build")" in
  windows-x64) system=win64 cc=(x86_64-w64-mingw32-gcc) dlltool=(x86_64-w64-mingw32-dlltool) ;;
  windows-x86) system=win32 cc=(i686-w64-mingw32-gcc) dlltool=(i686-w64-mingw32-dlltool) ;;
  windows-arm64) system=win-arm64 cc=("$root/cmake/zig/zig-cc") dlltool=(python3 -m ziglang dlltool -m arm64) ;;
  *) fail "$build is not a windows-x64, windows-x86 or windows-arm64 build tree" ;;
esac
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=Tarnwick-$version-$system
scratch=$(mktemp -d)
trap 'bash "$root/scripts/wine-prefix.sh" stop "$build/wine" >/dev/null; rm -rf "$scratch"' EXIT
wine_run() { bash "$root/scripts/wine-run.sh" "$build/wine" "$@"; }

echo "-- building $name.zip"
rm -f "$build/$name.zip"
(cd "$build" && cpack -G ZIP >/dev/null)
zip=$build/$name.zip
[[ -f $zip ]] || fail "cpack made no $name.zip"
printf '   %s  %s bytes\n' "$(basename "$zip")" "$(stat -c %s "$zip")"

echo "-- its contents"
python3 - "$zip" "$scratch" <<'PY' >"$scratch/contents.txt"
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    for entry in sorted(archive.infolist(), key=lambda e: e.filename):
        if not entry.is_dir():
            print(entry.filename, entry.file_size)
    archive.extractall(sys.argv[2])
PY
sed 's/^/   /' "$scratch/contents.txt"
for file in README.md LICENSE bin/Tarnwick.dll bin/tarnwick.exe lib/libTarnwick.dll.a lib/Tarnwick.def include/tarnwick.h; do
  echo "$name/$file"
done | sort >"$scratch/expected.txt"
cut -d' ' -f1 "$scratch/contents.txt" | diff "$scratch/expected.txt" - || fail "the zip does not hold exactly the expected files"
unpacked=$scratch/$name
cmp "$unpacked/include/tarnwick.h" "$root/interface/include/tarnwick.h" || fail "the zip's header is not the library's"

echo "-- C programs built against the unpacked files"
host=$scratch/host
mkdir "$host"
cp "$unpacked/bin/Tarnwick.dll" "$host/"
compile=("${cc[@]}" -std=c11 -Wall -Wextra -Werror -municode -I"$unpacked/include" "$root/tests/packaging/zip_host.c")
# zig looks for Tarnwick.lib or libTarnwick.a behind -l: it is given the file.
if [[ $system == win-arm64 ]]; then import=("$unpacked/lib/libTarnwick.dll.a"); else import=(-L"$unpacked/lib" -lTarnwick); fi
"${compile[@]}" -o "$host/with_import_library.exe" "${import[@]}"
"${dlltool[@]}" --input-def "$unpacked/lib/Tarnwick.def" --dllname Tarnwick.dll --output-lib "$scratch/libown.a"
"${compile[@]}" -o "$host/with_export_table.exe" "$scratch/libown.a"

if [[ $system == win-arm64 ]]; then
  # No Wine here runs ARM64 programs (scripts/wine-arm64.sh does, emulated):
  # both hosts must at least take WAVReverse from Tarnwick.dll.
  for program in with_import_library with_export_table; do
    llvm-readobj-14 --coff-imports "$host/$program.exe" | sed -n '/Name: Tarnwick.dll/,/^}/p' | grep -q 'Symbol: WAVReverse' ||
      fail "$program.exe does not import WAVReverse from Tarnwick.dll"
  done
  echo "windows zip: $name.zip holds the expected files, and programs link against it"
  exit 0
fi
bash "$root/scripts/wine-prefix.sh" start "$build/wine" >/dev/null
python3 "$root/tests/packaging/sample_wav.py" "$host/in.wav" "$host/expected.wav"
cd "$host"
for program in with_import_library with_export_table; do
  rm -f out.wav
  wine_run "$program.exe" in.wav out.wav || fail "$program.exe exited with $?"
  cmp expected.wav out.wav || fail "$program.exe: the reversal differs from the expected file"
done

echo "-- the unpacked tool"
rm -f out.wav
wine_run "$unpacked/bin/tarnwick.exe" reverse in.wav out.wav >/dev/null
cmp expected.wav out.wav || fail "tarnwick.exe: the reversal differs from the expected file"
wine_run "$unpacked/bin/tarnwick.exe" --version | grep -q "$version" || fail "tarnwick.exe --version does not say $version"
echo "windows zip: $name.zip holds the expected files, and programs built from it work"
