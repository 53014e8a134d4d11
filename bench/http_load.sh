#!/usr/bin/env bash
# Requests per second on keep-alive connections over loopback, measured with wrk.
# Usage: bench/http_load.sh BUILD_DIR [seconds] [connections]
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
SECONDS_EACH="${2:-10}"
CONNS="${3:-64}"
HERE="$(cd "$(dirname "$0")" && pwd)"
HOME_DIR="$(mktemp -d)"
PORT=$((20000 + RANDOM % 20000))
printf '[ZORAS]\nASPORT=%s\n' "$PORT" >"$HOME_DIR/zoras.BOOT"
source "$HERE/../scripts/lib/common.sh"
zoras_prepare_home "$HOME_DIR" "$BUILD"
(cd "$HOME_DIR" && ZORAS_HOME="$HOME_DIR" ZORAS_LOCK_FILE="$HOME_DIR/ZORAS.lock" exec "$BUILD/zoras" >/dev/null) &
SERVER=$!
trap 'kill $SERVER 2>/dev/null; wait $SERVER 2>/dev/null; rm -rf "$HOME_DIR"' EXIT
for _ in $(seq 50); do curl -sf "http://127.0.0.1:$PORT/wsdl" >/dev/null && break; sleep 0.1; done
run() {
  local name="$1"
  shift
  echo "== $name"
  wrk -t2 -c"$CONNS" -d"${SECONDS_EACH}s" --latency "$@" | grep -E 'Requests/sec|Latency|99%|Non-2xx'
}
run "GET /wsdl/IRAVOravuv" "http://127.0.0.1:$PORT/wsdl/IRAVOravuv"
run "GET /wsdl/IZORPoslovalnica" "http://127.0.0.1:$PORT/wsdl/IZORPoslovalnica"
run "POST /soap fault (IZORCentrala.GetOrders)" -s "$HERE/soap_fault.lua" "http://127.0.0.1:$PORT/soap/IZORCentrala"
