#!/usr/bin/env bash
# Makes sure the Debian packages named as arguments are installed. As root with apt-get, it
# installs the missing ones (after one apt-get update); otherwise it names them and stops
# with status 1. Without dpkg (not Debian) it checks nothing: the build's own lookups then
# say what is missing.
set -euo pipefail

command -v dpkg-query >/dev/null || exit 0
missing=()
for p in "$@"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] ||
        missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    echo "Installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them (apt-get install ${missing[*]}) as root, then run this again." >&2
    exit 1
fi
