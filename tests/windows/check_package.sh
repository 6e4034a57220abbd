#!/bin/bash
# Makes the Windows release with cpack in a mingw build folder and checks
# what is in it: blockxfer-<version>-win64.zip with blockxfer.exe,
# flashstation.exe, run.bat, README.txt and blockxfer.txt in one folder,
# the programs Windows executables, the texts with CR LF line ends.
#   check_package.sh WINDOWS-BUILD-DIR
# Exits 77 (skipped) when the folder holds no finished Windows build.
set -u
build=${1:?usage: check_package.sh WINDOWS-BUILD-DIR}
[ -f "$build/CPackConfig.cmake" ] && [ -f "$build/bin/flashstation.exe" ] ||
    { echo "SKIPPED: no Windows build in $build"; exit 77; }
build=$(cd "$build" && pwd)
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
name=blockxfer-$version-win64
cmake --build "$build" -j2 >"$build/package-build.log" 2>&1 || { cat "$build/package-build.log"; exit 1; }
(cd "$build" && cpack -G ZIP >cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
zip=$build/$name.zip

. "$(dirname "$0")/../support/checks.sh"
check_passed() { echo "ok    $1"; }
check_failed() { echo "FAIL  $1"; }
check "$name.zip made" [ -f "$zip" ]
listing=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
expected="$name/README.txt $name/blockxfer.exe $name/blockxfer.txt $name/flashstation.exe $name/run.bat $name/uboot-flash.bat "
check "contents: $expected" [ "$listing" = "$expected" ] || echo "      got $listing"

unpacked=$build/package-check
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
dir=$unpacked/$name
is_exe() { [ "$(head -c 2 "$1")" = MZ ] && ! x86_64-w64-mingw32-objdump -p "$1" 2>/dev/null | grep -qi 'DLL Name: lib'; }
crlf_only() { [ -s "$1" ] && ! grep -q $'[^\r]$' "$1" && ! grep -q '^$' "$1"; }
check "blockxfer.exe is a Windows program with no DLLs of its own" is_exe "$dir/blockxfer.exe"
check "flashstation.exe is a Windows program with no DLLs of its own" is_exe "$dir/flashstation.exe"
for text in run.bat uboot-flash.bat README.txt blockxfer.txt; do
    check "$text has CR LF line ends" crlf_only "$dir/$text"
done
check "run.bat's last line runs blockxfer on COM3 with LOG" \
    [ "$(tail -n 1 "$dir/run.bat")" = $'blockxfer -p3 -sy fw.bin -lfLOG\r' ]
check "blockxfer.txt is the manual page" grep -q "^BLOCKXFER(1)" "$dir/blockxfer.txt"
check "README.txt is the README" grep -q "^# blockxfer and flashstation" "$dir/README.txt"
echo "$(du -k "$zip" | cut -f1) KB: $zip"
[ $failures -eq 0 ]
