#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, as listed in scripts/packages.d/*.txt.
# Idempotent: only packages that are not installed yet are fetched, and apt is not touched at all
# when everything is present.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

wanted=$(sed -e 's/#.*//' "$here"/packages.d/*.txt | tr -s ' \t' '\n\n' | sed '/^$/d' | sort -u)
missing=()
for pkg in $wanted; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        command -v sudo >/dev/null || { echo "setup: run as root to install ${missing[*]}" >&2; exit 1; }
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Per-area extra steps (npm test peers and the like) live beside the package lists.
for hook in "$here"/packages.d/*.sh; do
    [[ -e "$hook" ]] || continue
    bash "$hook"
done
