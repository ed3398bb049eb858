#!/usr/bin/env bash
# The Windows installer in a new Wine prefix: a silent install puts the programs, the help file
# and the notes in Program Files\ORBEX and two Start-menu entries, associates no file type,
# the installed orbcfg.exe answers --version, and the uninstaller takes it all away again.
# Usage: tests/installer_check.sh SETUP-EXE
set -euo pipefail
setup=$(realpath "$1")
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
wineboot --init >/dev/null 2>&1
wineserver -w
fail() { echo "installer $(basename "$setup"): $*" >&2; exit 1; }

# The installer and the uninstaller are waited for as Wine's server ends with them.
wine "$setup" /S
wineserver -w
dir="$WINEPREFIX/drive_c/Program Files/ORBEX"
for f in orbcfg.exe orbcfg-cli.exe orbex.chm README.txt Установка.txt; do
    [ -f "$dir/$f" ] || fail "installs no $f"
done
menu=$(find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" -name '*.lnk')
grep -q '/Менеджер конфигураций ORBEX\.lnk$' <<<"$menu" || fail "no Start-menu entry of the program"
grep -q '/Справка\.lnk$' <<<"$menu" || fail "no Start-menu entry of the help"
# The configuration files keep whatever opens them now.
if grep -qiE '^\[Software\\\\Classes\\\\(\.cfg|orbcfg)' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"; then
    fail "associates a file type"
fi
version=$(wine "$dir/orbcfg.exe" --version </dev/null 2>/dev/null | tr -d '\r')
wineserver -w
[[ $version == "orbcfg "* ]] || fail "orbcfg.exe --version said: $version"

wine "$dir/Uninstall.exe" /S
wineserver -w
[ ! -e "$dir/orbcfg.exe" ] || fail "the uninstaller leaves orbcfg.exe"
[ -z "$(find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" -name '*.lnk')" ] ||
    fail "the uninstaller leaves Start-menu entries"
echo "installer $(basename "$setup"): $version; installed, two Start-menu entries, nothing associated, uninstalled"
