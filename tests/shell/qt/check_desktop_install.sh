#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a Linux desktop needs of it: a
# program that starts, a valid desktop entry whose icon is installed, and file types for .orn,
# .db and .dbf that the entry offers to open.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
"$prefix/bin/orn" --version | grep -q '^orn ' || fail "the installed orn does not start"
# The windowed start finds the windows program where the install put it.
scratch=$(mktemp -d)
trap 'rm -rf "$prefix" "$scratch"' EXIT
printf 'x' >"$scratch/notes.txt"
status=0
(cd "$scratch" && QT_QPA_PLATFORM=offscreen ORN_REGISTRY_DIR="$scratch/registry" timeout 10 \
    "$prefix/bin/orn" notes.txt 2>"$scratch/err" </dev/null) || status=$?
grep -q 'Unknow extension' "$scratch/err" ||
    fail "the installed orn does not start its windows (exit $status): $(cat "$scratch/err")"

entry="$prefix/share/applications/orn.desktop"
[[ -f "$entry" ]] || fail "no desktop entry"
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (desktop-file-utils)"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
value() { sed -n "s/^$1=//p" "$entry"; }
[[ "$(value Name)" == "ORN" ]] || fail "the entry is not named ORN"
[[ ";$(value Categories)" == *";Office;"* && ";$(value Categories)" == *";Database;"* ]] ||
    fail "the entry is not in Office and Database"
[[ "$(value Exec)" == "orn %f" ]] || fail "the entry does not open a file with orn"
icon="$prefix/share/icons/hicolor/scalable/apps/$(value Icon).svg"
[[ -s "$icon" ]] || fail "no icon $icon"
grep -q '<svg' "$icon" || fail "$icon is no SVG image"

# The file types: ours compile into a MIME database; dBASE tables are the desktop's own.
command -v update-mime-database >/dev/null || fail "update-mime-database is missing (shared-mime-info)"
mime_log=$(update-mime-database "$prefix/share/mime" 2>&1) || fail "the MIME package does not compile: $mime_log"
type_of() {  # the type a globs2 file gives a pattern
    awk -F: -v p="$2" '$3 == p { print $2; exit }' "$1"
}
orn_type=$(type_of "$prefix/share/mime/globs2" '*.orn')
db_type=$(type_of "$prefix/share/mime/globs2" '*.db')
dbf_type=$(type_of /usr/share/mime/globs2 '*.dbf')
offered=";$(value MimeType)"
for t in "$orn_type" "$db_type" "$dbf_type"; do
    [[ -n "$t" ]] || fail "a file type of .orn, .db or .dbf is unknown"
    [[ "$offered" == *";$t;"* ]] || fail "the entry does not offer to open $t"
done
echo "desktop install: 1 passed, 0 failed"
