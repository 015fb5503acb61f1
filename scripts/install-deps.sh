#!/usr/bin/env bash
# Installs the Debian packages given as arguments that are not installed yet.
# Uses apt-get directly as root, sudo otherwise, and says what to do when neither works.
set -euo pipefail
missing=()
for pkg in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    apt=(apt-get)
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    apt=(sudo apt-get)
elif command -v sudo >/dev/null && [[ -t 0 ]]; then
    apt=(sudo apt-get)
else
    echo "error: these packages are missing and I cannot install them (not root, no sudo):" >&2
    echo "       ${missing[*]}" >&2
    echo "       install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${apt[@]}" update -q || true
"${apt[@]}" install -y -q --no-install-recommends "${missing[@]}"
