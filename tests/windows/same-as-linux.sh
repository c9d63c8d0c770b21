#!/usr/bin/env bash
# The Windows pelvar-cli.exe under Wine does what the Linux pelvar-cli does:
#   tests/windows/same-as-linux.sh LINUX_BUILD WINDOWS_BUILD
# Each saves the same settings with `setup` (under Wine into the registry),
# lists them with `settings show` and uploads the sample rows with `cycle`
# from its own copy of the relay database to its own pelvar-server, through a
# recorder of the wire. The wire bytes, the log lines, the journal lines and
# the relay rows left must be the same, time stamps aside. Then `run` under
# Wine must stop on Ctrl+C. Starts and stops its own throwaway MariaDB; every
# file stays in a temporary folder (the clients run under PELVAR_PREFIX, so
# no clock is set).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux_build=$1
windows_build=$2
linux_cli=$linux_build/src/cli/pelvar-cli
windows_cli=$windows_build/src/cli/pelvar-cli.exe
server=$linux_build/tools/pelvar-server/pelvar-server

# shellcheck source=../../scripts/lib/mariadb.sh
source "$root/scripts/lib/mariadb.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/pelvar-same.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  WINEPREFIX=$work/wine wineserver -k 2>/dev/null || true
  mariadb_stop
  rm -rf "$work"
}
trap cleanup EXIT
# PELVAR_KEEP=1 keeps the folder with every output for a look.
[ "${PELVAR_KEEP:-0}" = 1 ] && trap 'echo "kept $work"' EXIT
failed=0
fail() {
  echo "same-as-linux: FAIL: $*" >&2
  failed=1
}

mariadb_start
mariadb_sql -e "CREATE DATABASE PELVAR_SERVER_linux; CREATE DATABASE PELVAR_SERVER_windows"

# First line of a log file matching a pattern, waited for.
wait_for_line() {
  local file=$1 pattern=$2 line
  for _ in $(seq 1 300); do
    line=$(grep -m1 -o "$pattern" "$file" 2>/dev/null || true)
    [ -n "$line" ] && { echo "$line"; return 0; }
    sleep 0.1
  done
  return 1
}

# The Windows program in place of the calling shell (exec), so that a signal
# to a background one reaches Wine.
windows() {
  PELVAR_PREFIX="Z:${work//\//\\}\\prefix-windows" \
    exec "$root/scripts/wine-run" --prefix "$work/wine" "$windows_cli" "$@"
}
linux() {
  PELVAR_PREFIX=$work/prefix-linux "$linux_cli" "$@"
}

for side in linux windows; do
  mariadb_sql -e "CREATE DATABASE DAVIV_$side DEFAULT CHARACTER SET gbk"
  mariadb_sql "DAVIV_$side" <"$root/tests/data/relay_schema.sql"
  mariadb_sql "DAVIV_$side" <"$root/tests/data/relay_sample.sql"
  PELVAR_SERVER_DB_PASSWORD=$MARIADB_PASSWORD "$server" --port 0 --db-host 127.0.0.1 \
    --db-port "$MARIADB_PORT" --db-user "$MARIADB_USER" --db-name "PELVAR_SERVER_$side" \
    --create-schema >"$work/server-$side.log" 2>&1 &
  pids+=($!)
  port=$(wait_for_line "$work/server-$side.log" '127\.0\.0\.1:[0-9]*' | cut -d: -f2)
  mariadb_sql "PELVAR_SERVER_$side" <"$root/tests/data/server_sample.sql"
  python3 "$root/tests/windows/wire-recorder.py" "$port" "$work/wire-$side.txt" \
    >"$work/recorder-$side.port" &
  pids+=($!)
  wait_for_line "$work/recorder-$side.port" '^[0-9]*$' >/dev/null
  mkdir -p "$work/prefix-$side/etc/pelvar" "$work/prefix-$side/var/log/pelvar"

  ("$side" setup --dwbh=J0001 --remote-host=127.0.0.1 \
    --remote-port="$(cat "$work/recorder-$side.port")" --scan-time=60 --no-auto-start \
    --no-auto-send --db-type=MySQL --db-host=127.0.0.1 --db-port="$MARIADB_PORT" \
    --db-name="DAVIV_$side" --db-user="$MARIADB_USER" --db-password="$MARIADB_PASSWORD" \
    >"$work/setup-$side.txt" 2>&1) || fail "$side setup: $(cat "$work/setup-$side.txt")"
  # Wine's registry lists values by name, Windows' and our file in order of writing.
  ("$side" settings show) 2>&1 | sort >"$work/show-$side.txt" || fail "$side settings show"
  ("$side" cycle >"$work/log-$side.txt" 2>"$work/lights-$side.txt") || fail "$side cycle"
  for journal in "$work/prefix-$side"/var/log/pelvar/*/*.log; do
    iconv -f GBK -t UTF-8 "$journal" >>"$work/journal-$side.txt"
  done
  mariadb_sql -N "DAVIV_$side" -e "SELECT 'RPTINFO', JCDWBH, SENDFLAG FROM JCJG_RPTINFO
    UNION ALL SELECT 'GC_RPT', JCDWBH, SENDFLAG FROM JCJG_GC_RPT
    UNION ALL SELECT 'ALTER', JCDWBH, SENDFLAG FROM JCJG_ALTER
    UNION ALL SELECT 'AUTO', JCDWBH, SENDFLAG FROM JCJG_AUTO ORDER BY 1, 2, 3" \
    >"$work/rows-$side.txt"
done

# Time stamps (and the identifier the server hands out) differ from run to
# run; the relay database's and the settings' names differ on purpose.
normalise() {
  sed -E -e 's/[0-9]{4}-[0-9]{1,2}-[0-9]{1,2}( [0-9]{1,2}:[0-9]{2}:[0-9]{2}(\.[0-9]+)?)?/<time>/g' \
    -e 's/[0-9]{1,2}:[0-9]{2}:[0-9]{2}/<time>/g' \
    -e 's/[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}/<guid>/g' \
    -e 's/(DAVIV|PELVAR_SERVER)_(linux|windows)/\1_x/gI' -e 's/[0-9]{4,5}/<n>/g' "$1"
}
for what in wire log journal rows show lights; do
  if ! diff <(normalise "$work/$what-linux.txt") <(normalise "$work/$what-windows.txt") \
    >"$work/$what.diff"; then
    fail "$what differs between Linux and Windows:"
    head -40 "$work/$what.diff" >&2
  fi
done
[ -s "$work/wire-linux.txt" ] || fail "nothing was recorded on the wire"
grep -q "ZQJCJGOK" "$work/wire-linux.txt" || fail "no row was accepted"
echo "same-as-linux: $(grep -c '^>' "$work/wire-linux.txt") sessions, $(wc -l <"$work/log-linux.txt") log lines, $(wc -l <"$work/journal-linux.txt") journal lines compared"

# `run` under Wine ends cleanly on Ctrl+C (SIGINT to the Wine process).
(windows run >"$work/run.txt" 2>&1) &
run_pid=$!
pids+=("$run_pid")
if wait_for_line "$work/run.txt" '.' >/dev/null && sleep 2 && kill -INT "$run_pid"; then
  for _ in $(seq 1 300); do kill -0 "$run_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$run_pid" 2>/dev/null; then
    fail "run did not stop on Ctrl+C"
  elif ! wait "$run_pid"; then
    fail "run ended with a failure after Ctrl+C: $(tail -3 "$work/run.txt")"
  fi
else
  fail "run printed nothing"
fi
exit "$failed"
