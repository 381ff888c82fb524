#!/usr/bin/env bash
# Runs a command in a network namespace of its own whose only network is
# loopback, with a web server on 127.0.0.1:8765 serving the folder SITE, so
# that no link the command checks leaves the machine. Needs unshare, ip,
# python3 and root or unprivileged user namespaces.
# Usage: scripts/with_demo_site.sh SITE COMMAND [ARGUMENT...]
set -euo pipefail
isolate=(unshare -n)
[ "$(id -u)" -ne 0 ] && isolate=(unshare -rn)
SITE=$1 "${isolate[@]}" bash -c '
  set -euo pipefail
  ip link set lo up
  python3 -m http.server 8765 --bind 127.0.0.1 --directory "$SITE" >/dev/null 2>&1 &
  server=$!
  trap "kill $server" EXIT
  for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection((\"127.0.0.1\", 8765), 1)" 2>/dev/null && break
    sleep 0.1
  done
  "$@"
' with_demo_site "${@:2}"
