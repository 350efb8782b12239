#!/usr/bin/env bash
# Sets up the machine, builds the console and runs it on a demo data root.
#   The data root is build/demo-root (created when missing; $ZELMOSMS_ROOT overrides it), and the
#   gateway service is handled by the local supervisor in that root, never by the system's own
#   service manager. On a machine without a display the console is served by VNC on 127.0.0.1
#   (port $ZELMO_VNC_PORT, default 5900).
#   A new data root is filled by the gateway simulator (connections, users, queued and received
#   messages, counters, an error on one connection), and the simulator is registered and started
#   as the gateway service, so the console shows live figures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
cmake --preset default
cmake --build --preset default

if [[ ! -x build/bin/zelmo-console ]]; then
    echo "demo: the console executable is not built yet; nothing to run."
    exit 0
fi

export ZELMOSMS_ROOT=${ZELMOSMS_ROOT:-$PWD/build/demo-root}
mkdir -p "$ZELMOSMS_ROOT"
export ZELMOSMS_SERVICE_MANAGER=local
echo "demo: data root $ZELMOSMS_ROOT"

if [[ ! -e "$ZELMOSMS_ROOT/ProgramData/GATEWAYSIM.INI" ]]; then
    echo "demo: laying down the demo data with the gateway simulator"
    build/bin/smsgwnt --scenario tools/gateway-sim/scenarios/demo.ini --once
fi
# Register the simulator (build/bin/smsgwnt) as the gateway service and start it.
build/bin/zelmo-console -QUIET -INSTALLSMSSERVICE
echo "demo: the simulated gateway service runs; stop it with 'ZELMOSMS_ROOT=$ZELMOSMS_ROOT" \
     "ZELMOSMS_SERVICE_MANAGER=local build/bin/zelmo-console -STOPSMSSERVICE'."

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    port=${ZELMO_VNC_PORT:-5900}
    export QT_QPA_PLATFORM="vnc:size=1280x800:port=$port"
    # Qt's vnc platform listens on every interface; this keeps it on the loopback address.
    export LD_PRELOAD="$PWD/build/bin/libzelmo-vnc-loopback.so${LD_PRELOAD:+:$LD_PRELOAD}"
    echo "demo: no display; the console is served by VNC on 127.0.0.1:$port (no password)."
    echo "demo: connect with a VNC viewer on this machine, e.g. 'vncviewer 127.0.0.1::$port';"
    echo "demo: from another machine, tunnel first: 'ssh -L $port:127.0.0.1:$port <this host>'."
fi
exec build/bin/zelmo-console "$@"
