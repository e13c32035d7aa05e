#!/usr/bin/env bash
# Compares each package's files with the lists the README promises, then
# runs the packaged Windows programs under Wine.
# Usage: check-packages.sh README BUILD_DIR VERSION
set -euo pipefail
exec 2>&1
trap 'echo "check-packages.sh: line $LINENO failed" >&2' ERR
readme=$1 dir=$2 version=$3

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
check "$zip" "$(cmake -E chdir "$dir" cmake -E tar tf "$zip" | grep -v '/$')"
check "$tgz" "$(cmake -E chdir "$dir" cmake -E tar tf "$tgz" | grep -v '/$')"
check "$deb" "$(dpkg-deb -c "$dir/$deb" | awk '/^-/ {print $NF}')"

wine=/usr/lib/wine/wine64
if [ ! -x "$wine" ]; then
  echo "wine64 is not installed: the packaged .exe files were not run" >&2
  exit 0
fi
# The prefix lives in the build folder and its server is up before wineboot,
# as for the end-to-end tests; a step that fails shows its own output.
work=$dir/wine-check
server=/usr/lib/wine/wineserver
export WINEPREFIX=$work/prefix WINEDEBUG=-all LC_ALL=C.UTF-8
trap '"$server" -k 2>/dev/null || true' EXIT
rm -rf "$work" && mkdir -p "$work/unpacked" "$WINEPREFIX"
(cd "$work/unpacked" && cmake -E tar xf "$dir/$zip")
# Wine's servers outlive the call and would hold a pipe open: logs go to files.
"$server" -p >"$work/server.log" 2>&1
"$wine" wineboot -i >"$work/wineboot.log" 2>&1 ||
  { echo "wineboot failed:" >&2; cat "$work/server.log" "$work/wineboot.log" >&2; exit 1; }
status=0
out=$(cd "$work/unpacked" && printf '3\n' | "$wine" tavrel.exe 2>&1) || status=$?
grep -q '将在 3s 内退出' <<<"$out" || { echo "tavrel.exe: status $status, no farewell: $out" >&2; exit 1; }
status=0
out=$(cd "$work/unpacked" && "$wine" tavrel-pauser.exe cmd /c exit 3 </dev/null 2>&1) || status=$?
grep -q '返回值：3' <<<"$out" && [ "$status" = 3 ] ||
  { echo "tavrel-pauser.exe: status $status: $out" >&2; exit 1; }
echo "the packaged tavrel.exe and tavrel-pauser.exe run under Wine"
