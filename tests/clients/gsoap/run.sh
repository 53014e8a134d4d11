#!/usr/bin/env bash
# run.sh WORK_DIR: starts the test server ($ZORAS_SOAP_TEST_SERVER) on a free port,
# generates a gSOAP client from its live IZORPoslovalnica WSDL (wsdl2h, soapcpp2 -C),
# compiles client.cc with it, runs it against the server and stops the server. Fails,
# never skips, when a gSOAP tool or the runtime library (libgsoap-dev) is missing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="${1:?usage: run.sh WORK_DIR}"
server="${ZORAS_SOAP_TEST_SERVER:?ZORAS_SOAP_TEST_SERVER must name soap_test_server}"
import_dir=/usr/share/gsoap/import

fail() {
  echo "gsoap: $*" >&2
  exit 1
}
for tool in wsdl2h soapcpp2 g++; do
  command -v "$tool" >/dev/null || fail "'$tool' is not installed (Debian packages gsoap, g++)"
done
[ -f /usr/include/stdsoap2.h ] || fail "stdsoap2.h is missing (Debian package libgsoap-dev)"
[ -d "$import_dir" ] || fail "$import_dir is missing (Debian package gsoap)"

rm -rf "$work"
mkdir -p "$work"

"$server" 0 >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
stop_server() {
  if kill -0 "$server_pid" 2>/dev/null; then
    kill -TERM "$server_pid"
    local status=0
    wait "$server_pid" || status=$?
    if [ "$status" -ne 0 ]; then
      cat "$work/server.err" >&2
      echo "gsoap: soap_test_server ended with status $status" >&2
      return 1
    fi
  fi
}
trap 'stop_server || true' EXIT

port=""
for _ in $(seq 100); do
  port="$(head -n1 "$work/server.out" 2>/dev/null || true)"
  [[ "$port" =~ ^[0-9]+$ ]] && break
  if ! kill -0 "$server_pid" 2>/dev/null; then
    cat "$work/server.err" >&2
    fail "the server did not start"
  fi
  sleep 0.1
done
[[ "$port" =~ ^[0-9]+$ ]] || fail "the server printed no port"
base="http://127.0.0.1:$port"

run() {
  local log="$work/$1.log"
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; fail "$* failed"; }
}
run wsdl2h wsdl2h -o "$work/zoras.h" "$base/wsdl/IZORPoslovalnica"
run soapcpp2 soapcpp2 -C -L -x -j -d "$work" -I"$import_dir" "$work/zoras.h"
run compile g++ -std=c++17 -O0 -w -I"$work" -o "$work/client" "$here/client.cc" \
  "$work/soapC.cpp" "$work/soapIZORPoslovalnicabindingProxy.cpp" -lgsoap++

status=0
"$work/client" "$base/soap/IZORPoslovalnica" || status=$?
trap - EXIT
stop_server
exit "$status"
