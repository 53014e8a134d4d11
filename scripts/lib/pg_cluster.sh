# A throwaway PostgreSQL 15 cluster for the tests. Source this file, then:
#   zoras_pg_start  initdb in a fresh temp folder, start the server on a unix socket in that
#                   folder and on 127.0.0.1 at a free port, create the database zoras_test,
#                   and export ZORAS_TEST_PG (a libpq connection string) and ZORAS_TEST_PG_USER.
#   zoras_pg_stop   stop the server and remove the folder (safe to call twice, or when the
#                   start failed half-way), so a trap on EXIT can always call it.
# As root the cluster runs as the postgres OS user, because initdb and postgres refuse root.

ZORAS_PG_BIN="${ZORAS_PG_BIN:-/usr/lib/postgresql/15/bin}"
ZORAS_PG_DIR=""

# Runs a command as the cluster's owner.
_zoras_pg_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

_zoras_pg_free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

zoras_pg_start() {
  if [ ! -x "$ZORAS_PG_BIN/initdb" ]; then
    echo "zoras_pg_start: no PostgreSQL binaries in $ZORAS_PG_BIN" >&2
    return 1
  fi
  ZORAS_PG_DIR="$(mktemp -d /tmp/zoras-pg.XXXXXX)" || return 1
  [ "$(id -u)" -eq 0 ] && chown postgres: "$ZORAS_PG_DIR"
  local data="$ZORAS_PG_DIR/data" log="$ZORAS_PG_DIR/server.log"
  if ! _zoras_pg_as_owner "$ZORAS_PG_BIN/initdb" -D "$data" -U postgres --auth=trust \
      -E UTF8 --no-locale --no-sync >"$ZORAS_PG_DIR/initdb.log" 2>&1; then
    echo "zoras_pg_start: initdb failed:" >&2
    cat "$ZORAS_PG_DIR/initdb.log" >&2
    zoras_pg_stop
    return 1
  fi
  # The port is free when asked for but may be taken before the server binds it: retry.
  local port attempt
  for attempt in 1 2 3 4 5; do
    port="$(_zoras_pg_free_port)" || break
    # Durability is worthless for a cluster that lives for one test run.
    _zoras_pg_as_owner tee "$data/postgresql.auto.conf" >/dev/null <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$ZORAS_PG_DIR'
max_connections = 200
fsync = off
synchronous_commit = off
full_page_writes = off
CONF
    if _zoras_pg_as_owner "$ZORAS_PG_BIN/pg_ctl" -D "$data" -l "$log" -w -t 60 start \
        >/dev/null 2>&1; then
      if "$ZORAS_PG_BIN/createdb" -h "$ZORAS_PG_DIR" -p "$port" -U postgres zoras_test; then
        export ZORAS_TEST_PG="host=$ZORAS_PG_DIR port=$port dbname=zoras_test user=postgres"
        export ZORAS_TEST_PG_USER=postgres
        return 0
      fi
      break
    fi
  done
  echo "zoras_pg_start: the server did not start:" >&2
  [ -f "$log" ] && tail -n 20 "$log" >&2
  zoras_pg_stop
  return 1
}

zoras_pg_stop() {
  local dir="$ZORAS_PG_DIR"
  ZORAS_PG_DIR=""
  unset ZORAS_TEST_PG ZORAS_TEST_PG_USER
  [ -n "$dir" ] && [ -d "$dir" ] || return 0
  if [ -f "$dir/data/postmaster.pid" ]; then
    _zoras_pg_as_owner "$ZORAS_PG_BIN/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop \
      >/dev/null 2>&1 ||
      _zoras_pg_as_owner "$ZORAS_PG_BIN/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 ||
      true
  fi
  rm -rf "$dir"
}
