# Throwaway MariaDB server in a temporary folder, for the tests and the demo.
# Source this file, then call mariadb_start; it sets MARIADB_DIR, MARIADB_PORT,
# MARIADB_SOCKET, MARIADB_USER and MARIADB_PASSWORD. mariadb_stop ends the
# server and removes its folder; it is safe to call more than once.

mariadb_free_port() {
  python3 - <<'PY'
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()
PY
}

mariadb_start() {
  MARIADB_DIR=$(mktemp -d "${TMPDIR:-/tmp}/pelvar-mariadb.XXXXXX")
  MARIADB_PORT=$(mariadb_free_port)
  MARIADB_SOCKET="$MARIADB_DIR/mysqld.sock"
  MARIADB_USER=pelvar
  MARIADB_PASSWORD=pelvar
  local user_opt=()
  if [ "$(id -u)" -eq 0 ]; then user_opt=(--user=root); fi

  mariadb-install-db --no-defaults "${user_opt[@]}" --datadir="$MARIADB_DIR/data" \
    --auth-root-authentication-method=normal --skip-test-db >"$MARIADB_DIR/install.log" 2>&1 || {
    cat "$MARIADB_DIR/install.log" >&2
    return 1
  }

  # lower_case_table_names=1 as MySQL runs on Windows: the program names the
  # same table jcjg_cuser and JCJG_CUSER.
  mariadbd --no-defaults "${user_opt[@]}" --datadir="$MARIADB_DIR/data" \
    --socket="$MARIADB_SOCKET" --port="$MARIADB_PORT" --bind-address=127.0.0.1 \
    --pid-file="$MARIADB_DIR/mysqld.pid" --lower-case-table-names=1 \
    --skip-log-bin --innodb-buffer-pool-size=64M --max-connections=500 \
    --log-error="$MARIADB_DIR/error.log" >/dev/null 2>&1 &
  MARIADB_PID=$!

  local i
  for i in $(seq 1 120); do
    if mariadb-admin --no-defaults --socket="$MARIADB_SOCKET" -uroot ping >/dev/null 2>&1; then
      break
    fi
    if ! kill -0 "$MARIADB_PID" 2>/dev/null; then
      cat "$MARIADB_DIR/error.log" >&2
      return 1
    fi
    sleep 0.5
  done
  mariadb --no-defaults --socket="$MARIADB_SOCKET" -uroot <<SQL
CREATE USER IF NOT EXISTS '$MARIADB_USER'@'%' IDENTIFIED BY '$MARIADB_PASSWORD';
CREATE USER IF NOT EXISTS '$MARIADB_USER'@'localhost' IDENTIFIED BY '$MARIADB_PASSWORD';
GRANT ALL PRIVILEGES ON *.* TO '$MARIADB_USER'@'%' WITH GRANT OPTION;
GRANT ALL PRIVILEGES ON *.* TO '$MARIADB_USER'@'localhost' WITH GRANT OPTION;
FLUSH PRIVILEGES;
SQL
  export MARIADB_DIR MARIADB_PORT MARIADB_SOCKET MARIADB_USER MARIADB_PASSWORD MARIADB_PID
}

# Runs SQL from standard input (or the arguments) as root on the throwaway server.
mariadb_sql() {
  mariadb --no-defaults --socket="$MARIADB_SOCKET" -uroot --default-character-set=utf8mb4 "$@"
}

mariadb_stop() {
  if [ -n "${MARIADB_PID:-}" ] && kill -0 "$MARIADB_PID" 2>/dev/null; then
    kill "$MARIADB_PID" 2>/dev/null || true
    local i
    for i in $(seq 1 60); do
      kill -0 "$MARIADB_PID" 2>/dev/null || break
      sleep 0.5
    done
    kill -9 "$MARIADB_PID" 2>/dev/null || true
  fi
  MARIADB_PID=
  if [ -n "${MARIADB_DIR:-}" ] && [ -d "$MARIADB_DIR" ]; then
    rm -rf "$MARIADB_DIR"
  fi
  MARIADB_DIR=
}
