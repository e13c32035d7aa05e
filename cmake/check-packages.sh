#!/usr/bin/env bash
# Makes the packages of a build, compares each package's files with the
# lists the README promises, then runs the packaged Windows programs under
# Wine.
# Usage: check-packages.sh README BUILD_DIR VERSION CPACK
set -euo pipefail
exec 2>&1
trap 'echo "check-packages.sh: line $LINENO failed" >&2' ERR
readme=$1 dir=$2 version=$3 cpack=$4

# The Linux packages, then the ZIP by the Windows build's own CPack; what
# CPack says is shown only when it fails.
make_packages() {
  "$cpack" --config "$dir/CPackConfig.cmake" -B "$dir" || return
  [ ! -f "$dir/win/CPackConfig.cmake" ] || (cd "$dir/win" && "$cpack" -G ZIP -B "$dir")
}
rm -f "$dir"/tavrel-*.zip "$dir"/tavrel-*.tar.gz "$dir"/tavrel_*.deb
make_packages >"$dir/cpack.log" 2>&1 || { cat "$dir/cpack.log"; exit 1; }

# The fenced list after the line "<!-- contents NAME -->".
promised() {
  awk -v mark="<!-- contents $1 -->" '$0 == mark {f = 1; next}
    f && /^```text/ {g = 1; next} g && /^```/ {exit} g {print}' "$readme"
}

check() {
  if ! diff <(promised "$1") <(sort <<<"$2"); then
    echo "$1: not what the README promises (< README, > package)" >&2
    exit 1
  fi
  echo "$1: as the README says"
}

zip=tavrel-$version-win64.zip
tgz=tavrel-$version-Linux.tar.gz
deb=tavrel_${version}_$(dpkg --print-architecture).deb
# Without mingw-w64 the build makes no ZIP: the Linux packages are still
# checked; with CI set, a missing ZIP fails.
have_zip=1
if [ ! -f "$dir/$zip" ]; then
  have_zip=
  echo "$zip: not made (x86_64-w64-mingw32-g++-posix, Debian: g++-mingw-w64-x86-64-posix, is not installed)" >&2
  [ -z "${CI:-}" ] || exit 1
else
  check "$zip" "$(cmake -E chdir "$dir" cmake -E tar tf "$zip" | grep -v '/$')"
fi
check "$tgz" "$(cmake -E chdir "$dir" cmake -E tar tf "$tgz" | grep -v '/$')"
check "$deb" "$(dpkg-deb -c "$dir/$deb" | awk '/^-/ {print $NF}')"

# Each program holds only what it uses: no Linux stand-in in tavrel.exe; no
# settings store, save, run-code operation or compiler folder in either pauser.
# The build's own files, since the packaged ones are stripped of their names.
symbols() { "$1" -C "$2" | grep -E "$3" || true; }
[ -n "$(symbols nm "$dir/tavrel-pauser" 'Pauser_main')" ] ||
  { echo "no symbols to check in $dir/tavrel-pauser" >&2; exit 1; }
not_pausers='Load_settings|Save_settings|Replace_file|Mark_hidden|Use_compiler_folder|Compile_line|Split_fields|Window_command'
found=$(symbols nm "$dir/tavrel-pauser" "$not_pausers")
if [ -n "$have_zip" ]; then
  [ -n "$(symbols x86_64-w64-mingw32-nm "$dir/win/tavrel.exe" 'Main_loop')" ] ||
    { echo "no symbols to check in $dir/win/tavrel.exe" >&2; exit 1; }
  found+=$(symbols x86_64-w64-mingw32-nm "$dir/win/tavrel.exe" 'Split_fields|Window_command|LAUNCHERS')
  [ -n "$(symbols x86_64-w64-mingw32-nm "$dir/win/tavrel-pauser.exe" 'Pauser_main')" ] ||
    { echo "no symbols to check in $dir/win/tavrel-pauser.exe" >&2; exit 1; }
  found+=$(symbols x86_64-w64-mingw32-nm "$dir/win/tavrel-pauser.exe" "$not_pausers")
fi
[ -z "$found" ] || { echo "a program holds code it never uses: $found" >&2; exit 1; }
echo "each program holds only its own code"

if [ -n "$have_zip" ]; then
  # Released programs carry no symbols, and the Windows ones their version.
  for exe in tavrel tavrel-pauser; do
    file=$(cd "$dir" && cmake -E tar xf "$zip" "tavrel-$version-win64/$exe.exe" && echo "$dir/tavrel-$version-win64/$exe.exe")
    [ "$(x86_64-w64-mingw32-objdump -h "$file" | grep -c debug)" = 0 ] &&
      strings -n 3 -el "$file" | grep -qx Tavrel && strings -n 3 -el "$file" | grep -qx "$version" ||
      { echo "$exe.exe: not stripped, or no version information" >&2; exit 1; }
  done
  # Windows text files end their lines in CR LF.
  (cd "$dir" && cmake -E tar xf "$zip" "tavrel-$version-win64/LICENSE.txt")
  licence=$dir/tavrel-$version-win64/LICENSE.txt
  [ "$(grep -c $'\r$' "$licence")" = "$(wc -l <"$licence")" ] ||
    { echo "LICENSE.txt: not every line ends in CR LF" >&2; exit 1; }
  rm -rf "$dir/tavrel-$version-win64"
fi
if ! command -v lintian >/dev/null; then
  echo "lintian is not installed: the .deb was not checked" >&2
  [ -z "${CI:-}" ] || exit 1
else
  lintian --fail-on error,warning "$dir/$deb"
  echo "$deb: lintian finds no error or warning"
fi

[ -n "$have_zip" ] || exit 0
# Debian's wine64 package puts only the wrapper `wine` on PATH.
wine=$(command -v wine64 || command -v wine || true)
server=$(command -v wineserver || true)
if [ -z "$wine" ] || [ -z "$server" ]; then
  echo "wine64 is not installed: the packaged .exe files were not run" >&2
  [ -z "${CI:-}" ] || exit 1
  exit 0
fi
# The prefix lives in the build folder and its server is up before wineboot,
# as for the end-to-end tests; a step that fails shows its own output.
work=$dir/wine-check
export WINEPREFIX=$work/prefix WINEDEBUG=-all LC_ALL=C.UTF-8
trap '"$server" -k 2>/dev/null || true' EXIT
rm -rf "$work" && mkdir -p "$work/unpacked/我的 工具" "$WINEPREFIX"
(cd "$work/unpacked/我的 工具" && cmake -E tar xf "$dir/$zip")
# Wine's servers outlive the call and would hold a pipe open: logs go to files.
{ "$server" -k 2>/dev/null; "$server" -w; } || true
"$server" -p >"$work/server.log" 2>&1
"$wine" wineboot -i >"$work/wineboot.log" 2>&1 ||
  { echo "wineboot failed:" >&2; cat "$work/server.log" "$work/wineboot.log" >&2; exit 1; }
# The first run, unpacked into a folder with a blank and Chinese characters:
# only the compiler is set (any existing file passes), and the pauser that
# the ZIP's data file names is found beside tavrel.exe.
here="$work/unpacked/我的 工具/tavrel-$version-win64"
cp "$here/tavrel-pauser.exe" "$here/a.exe"
echo 'int main() {}' >"$here/a.cpp"
status=0
(cd "$here" && printf '2\n1\ntavrel.exe\n5\n1\na.cpp\n0\n1\n3\n' | "$wine" tavrel.exe >"$work/first-run.txt" 2>&1) || status=$?
grep -q '正在通过 ConsolePauser 启动程序' "$work/first-run.txt" &&
  grep -q '启动成功' "$work/first-run.txt" && grep -q '将在 3s 内退出' "$work/first-run.txt" ||
  { echo "tavrel.exe: status $status, the first run did not start through the pauser:" >&2
    cat "$work/first-run.txt" >&2; exit 1; }
echo "the unpacked ZIP's first run starts the program through its pauser"
status=0
out=$(cd "$here" && "$wine" tavrel-pauser.exe cmd /c exit 3 </dev/null 2>&1) || status=$?
grep -q '返回值：3' <<<"$out" && [ "$status" = 3 ] ||
  { echo "tavrel-pauser.exe: status $status: $out" >&2; exit 1; }
echo "the packaged tavrel.exe and tavrel-pauser.exe run under Wine"
