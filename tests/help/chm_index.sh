#!/bin/sh
# orbex.chm has a binary keyword index (the one a keyword lookup uses) naming every keyword of
# the project's index, each at its page: the index that chmls reads back from the compiled file
# holds the project's entries (the compiled one in an order of its own).
set -eu
chm=$1 project=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
chmls extractindex "$chm" "$out/index.hhk" >/dev/null
# "NAME PAGE" an entry (the compiled index names each keyword twice).
entries() {
    grep -o 'name="\(Name\|Local\)" value="[^"]*"' "$1" | uniq | sed 's/.*value="//; s/"$//' |
        paste - - | sort
}
entries "$project/orbex.hhk" >"$out/expected"
entries "$out/index.hhk" >"$out/compiled"
diff "$out/expected" "$out/compiled"
# 116 keys, "MAIN", "FSAVE" and the five topics of the fleet.
[ "$(wc -l <"$out/compiled")" -eq 123 ]
grep -qx 'MAIN	MAIN.htm' "$out/compiled"
grep -qx 'FSAVE	FSAVE.htm' "$out/compiled"
grep -qx 'FLEET	FLEET.htm' "$out/compiled"
grep -qx 'COM1	COM1_.htm' "$out/compiled"
