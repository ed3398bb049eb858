#!/usr/bin/env bash
# The Windows package works with nothing else installed: unpacked into a new Wine prefix,
# orbcfg.exe answers --version and orbcfg-cli.exe normalizes a file to the bytes of the Linux
# build. Usage: tests/package_check.sh ZIP LINUX-ORBCFG-CLI
set -euo pipefail
zip=$(realpath "$1") linux_cli=$(realpath "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
wineboot --init >/dev/null 2>&1
wineserver -w
mkdir "$work/orbex"
(cd "$work/orbex" && unzip -q "$zip")
for f in orbcfg.exe orbcfg-cli.exe orbex.chm README.txt Установка.txt; do
    [ -f "$work/orbex/$f" ] || { echo "the package has no $f" >&2; exit 1; }
done
# CR LF throughout the texts.
if grep -q $'[^\r]$' "$work/orbex/README.txt"; then
    echo "README.txt has lines without CR LF" >&2
    exit 1
fi
version=$("$here/cmake/wine-run" "$work/orbex/orbcfg.exe" --version | tr -d '\r')
case $version in
    "orbcfg "*) ;;
    *) echo "orbcfg.exe --version said: $version" >&2; exit 1 ;;
esac
sample="$here/samples/terminal.cfg"
"$here/cmake/wine-run" "$work/orbex/orbcfg-cli.exe" normalize "$sample" >"$work/windows.cfg"
"$linux_cli" normalize "$sample" >"$work/linux.cfg"
cmp "$work/linux.cfg" "$work/windows.cfg"
echo "package $(basename "$zip"): $version; orbcfg-cli.exe normalize gives the Linux bytes"
