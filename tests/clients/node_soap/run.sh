#!/usr/bin/env bash
# run.sh WORK_DIR: installs the pinned npm soap client into WORK_DIR (once, and again
# when package-lock.json changes) and runs test.js with node's test runner.
# ZORAS_SOAP_TEST_SERVER names the test server. Fails, never skips, when node or npm
# is missing or the install fails.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="${1:?usage: run.sh WORK_DIR}"

for tool in node npm; do
  if ! command -v "$tool" >/dev/null; then
    echo "node_soap: '$tool' is not installed (Debian packages nodejs and npm)" >&2
    exit 1
  fi
done

mkdir -p "$work"
if [ ! -f "$work/node_modules/soap/package.json" ] ||
  ! cmp -s "$here/package-lock.json" "$work/package-lock.json"; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  rm -rf "$work/node_modules"
  if ! (cd "$work" && npm ci --no-audit --no-fund --loglevel=error); then
    rm -f "$work/package-lock.json"
    echo "node_soap: 'npm ci' failed: the npm registry must be reachable" >&2
    exit 1
  fi
fi

NODE_PATH="$work/node_modules" exec node --test "$here/test.js"
