#!/usr/bin/env bash
# Set-up for the protocol library tests: npm (when Node.js came without it) and the npm packages of
# the test peers in tools/protocol-peers (npm ci from the committed lock file, only when they are
# missing, so that it works offline once installed). Idempotent; run by scripts/setup-deps.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
peers="$here/../../tools/protocol-peers"

as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    else
        sudo "$@"
    fi
}

# tshark asks whether dumpcap may capture as non-root users; keep the default (no) for any later
# install or reconfiguration.
if command -v debconf-set-selections >/dev/null; then
    echo "wireshark-common wireshark-common/install-setuid boolean false" |
        as_root debconf-set-selections
fi

if ! command -v node >/dev/null; then
    echo "protocols: node is missing; the peer-based tests will skip" >&2
    exit 0
fi
if ! command -v npm >/dev/null; then
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get install -y -qq --no-install-recommends npm ||
        { as_root apt-get update -qq && as_root apt-get install -y -qq --no-install-recommends npm; }
fi
if [[ ! -f "$peers/node_modules/smpp/package.json" ]]; then
    echo "protocols: installing the test peers' npm packages"
    (cd "$peers" && npm ci --no-audit --no-fund --loglevel=error)
fi
