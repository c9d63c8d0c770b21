#!/usr/bin/env bash
# The Windows window program as an agency gets it, under Wine:
#   tests/windows/gui-end-to-end.sh LINUX_BUILD WINDOWS_BUILD
# The installer installs silently into a throwaway Wine prefix (with the
# autostart entry); pelvar.exe starts hidden with its icon in the
# notification area (trayer on a private Xvfb display); a second start ends
# at once with exit code 0; with IsAutoSend set it uploads the sample rows
# from a throwaway MariaDB (through the statically linked Connector/C) to the
# Linux pelvar-server, checked in both databases and the journal; a click on
# the icon shows the window; the uninstaller removes the programs and leaves
# the settings and the journal folder. Pictures of the tray, the window and
# the settings dialog go to WINDOWS_BUILD/e2e-artefacts/. The program runs
# under a PELVAR_PREFIX, so the server's time becomes an offset there and no
# clock is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux_build=$1
windows_build=$2
server=$linux_build/tools/pelvar-server/pelvar-server
setup_exe=$(ls "$windows_build"/pelvar-setup-*.exe)
artefacts=$windows_build/e2e-artefacts
title="检测监管数据上传【V2.0.2】"
agency=J0001

# shellcheck source=../../scripts/lib/mariadb.sh
source "$root/scripts/lib/mariadb.sh"
# shellcheck source=../../scripts/lib/xdisplay.sh
source "$root/scripts/lib/xdisplay.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/pelvar-wine-e2e.XXXXXX")
wine_prefix=$work/wine
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  WINEPREFIX=$wine_prefix wineserver -k 2>/dev/null || true
  xdisplay_stop
  mariadb_stop
  rm -rf "$work"
}
trap cleanup EXIT
[ "${PELVAR_KEEP:-0}" = 1 ] && trap 'echo "kept $work"' EXIT
failed=0
fail() {
  echo "gui-end-to-end: FAIL: $*" >&2
  failed=1
}
# Polls a command until it succeeds, for at most $1 seconds.
wait_until() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.5
  done
}

mariadb_start
xdisplay_start
mkdir -p "$artefacts"
rm -f "$artefacts"/*.png

# A Windows program of the prefix, on the display.
wine_in() {
  PELVAR_WINE_DISPLAY=$XDISPLAY "$root/scripts/wine-run" --prefix "$wine_prefix" --gui "$@"
}
program_files="$wine_prefix/drive_c/Program Files/Pelvar"
machine_prefix="Z:${work//\//\\}\\machine"
mkdir -p "$work/machine/var/log/pelvar"

mariadb_sql -e "CREATE DATABASE DAVIV DEFAULT CHARACTER SET gbk; CREATE DATABASE PELVAR_SERVER"
mariadb_sql DAVIV <"$root/tests/data/relay_schema.sql"
mariadb_sql DAVIV <"$root/tests/data/relay_sample.sql"
PELVAR_SERVER_DB_PASSWORD=$MARIADB_PASSWORD "$server" --port 0 --db-host 127.0.0.1 \
  --db-port "$MARIADB_PORT" --db-user "$MARIADB_USER" --db-name PELVAR_SERVER \
  --create-schema >"$work/server.log" 2>&1 &
pids+=($!)
wait_until 30 grep -q 'listening on 127\.0\.0\.1:' "$work/server.log" ||
  { cat "$work/server.log" >&2; exit 1; }
server_port=$(grep -o '127\.0\.0\.1:[0-9]*' "$work/server.log" | head -1 | cut -d: -f2)
mariadb_sql PELVAR_SERVER <"$root/tests/data/server_sample.sql"

# Install, silently, with the autostart entry.
wine_in "$setup_exe" /S /AUTOSTART=1 || fail "the installer ended with $?"
WINEPREFIX=$wine_prefix wineserver -w
for file in pelvar.exe pelvar-cli.exe uninstall.exe; do
  [ -f "$program_files/$file" ] || fail "not installed: $file"
done
start_menu="$wine_prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/检测监管数据上传"
[ -f "$start_menu/检测监管数据上传.lnk" ] || fail "no Start menu entry"
[ -d "$wine_prefix/drive_c/ProgramData/Pelvar/journal" ] || fail "no journal folder"
run_value() {
  wine_in reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v zqjcPelvarAuto \
    /reg:32 2>/dev/null | tr -d '\r' | grep zqjcPelvarAuto || true
}
run_value | grep -qF 'C:\Program Files\Pelvar\pelvar.exe' ||
  fail "autostart entry: '$(run_value)'"

# The settings as the installed pelvar-cli.exe saves them, then a scan
# interval of 1 (below what the dialog admits) so that cycles come quickly.
cli() { PELVAR_PREFIX=$machine_prefix wine_in 'C:\Program Files\Pelvar\pelvar-cli.exe' "$@"; }
cli setup --dwbh=$agency --remote-host=127.0.0.1 --remote-port="$server_port" --scan-time=60 \
  --auto-start --auto-send --db-type=MySQL --db-host=127.0.0.1 --db-port="$MARIADB_PORT" \
  --db-name=DAVIV --db-user="$MARIADB_USER" --db-password="$MARIADB_PASSWORD" \
  >"$work/setup.txt" 2>&1 || fail "setup: $(cat "$work/setup.txt")"
settings_key='HKLM\SOFTWARE\ZIRODU\DAVIV'
wine_in reg add "$settings_key" /v ScanTime /t REG_DWORD /d 1 /f /reg:32 >/dev/null
# The refused reading would raise a tray balloon: a window of its own.
wine_in reg add "$settings_key" /v Notify /t REG_DWORD /d 0 /f /reg:32 >/dev/null

# The window program: hidden, with its icon docked in trayer's panel.
PELVAR_PREFIX=$machine_prefix wine_in 'C:\Program Files\Pelvar\pelvar.exe' \
  >"$work/pelvar.txt" 2>&1 &
pids+=($!)
tree() { xwininfo -display "$XDISPLAY" -root -tree 2>/dev/null; }
# The icons docked in trayer's panel: Wine's notification area, which lives
# in its explorer.exe, embeds one window per icon there.
docked_icons() {
  tree | awk '/"panel" "trayer"/ { depth = match($0, /[^ ]/); inside = 1; next }
    inside && match($0, /[^ ]/) <= depth { inside = 0 }
    inside && /\("explorer\.exe" "explorer\.exe"\)/ { print }'
}
titled_viewable() {
  local id
  for id in $(tree | grep -F "\"$title\"" | grep -o '0x[0-9a-f]*'); do
    xwininfo -display "$XDISPLAY" -id "$id" 2>/dev/null | grep -q IsViewable && echo "$id"
  done
  return 0
}
has_icon() { [ -n "$(docked_icons)" ]; }
started=$SECONDS
wait_until 90 has_icon || fail "no icon docked in the notification area: $(tree)"
echo "gui-end-to-end: icon docked $((SECONDS - started)) s after the start"
[ -z "$(titled_viewable)" ] || fail "the window is shown at start"
import -display "$XDISPLAY" -window root "$artefacts/wine-tray.png"

# A second start ends at once, with exit code 0.
second_start=$SECONDS
if PELVAR_PREFIX=$machine_prefix timeout 60 "$root/scripts/wine-run" --prefix "$wine_prefix" \
  'C:\Program Files\Pelvar\pelvar.exe' >"$work/second.txt" 2>&1; then
  echo "gui-end-to-end: a second start ended after $((SECONDS - second_start)) s"
else
  fail "a second start ended with $? ($(cat "$work/second.txt"))"
fi

# It uploads on its own: nothing of the agency's is left pending.
pending() {
  mariadb_sql -N DAVIV -e "SELECT (SELECT COUNT(*) FROM JCJG_RPTINFO WHERE JCDWBH = '$agency'
    AND SENDFLAG IN (0, 1)) + (SELECT COUNT(*) FROM JCJG_GC_RPT WHERE JCDWBH = '$agency'
    AND SENDFLAG = 0) + (SELECT COUNT(*) FROM JCJG_ALTER WHERE JCDWBH = '$agency'
    AND SENDFLAG = 0) + (SELECT COUNT(*) FROM JCJG_AUTO WHERE JCDWBH = '$agency'
    AND SENDFLAG = 0)"
}
nothing_pending() { [ "$(pending)" = 0 ]; }
journal_has_guid() {
  cat "$work"/machine/var/log/pelvar/*/*.log 2>/dev/null | iconv -f GBK -t UTF-8 |
    grep -q '上传自动采集记录'
}
wait_until 180 nothing_pending || fail "rows still pending: $(pending)"
wait_until 60 journal_has_guid || fail "the journal has no readings summary"
server_counts=$(mariadb_sql -N PELVAR_SERVER -e "SELECT CONCAT_WS(' ',
  (SELECT COUNT(*) FROM JCJG_JCDW_GC), (SELECT COUNT(*) FROM JCJG_JCDW_RPTINFO),
  (SELECT COUNT(*) FROM JCJG_JCDW_GC_RPT), (SELECT COUNT(*) FROM JCJG_JCDW_ALTER),
  (SELECT COUNT(*) FROM JCJG_JCDW_AUTO))")
[ "$server_counts" = "5 36 12 8 39" ] || fail "server rows (projects reports links modifications readings): $server_counts"
refused=$(mariadb_sql -N DAVIV -e "SELECT CONCAT_WS(' ',
  (SELECT COUNT(*) FROM JCJG_RPTINFO WHERE JCDWBH = '$agency' AND SENDFLAG = 10),
  (SELECT COUNT(*) FROM JCJG_AUTO WHERE JCDWBH = '$agency' AND SENDFLAG = 100))")
[ "$refused" = "1 1" ] || fail "refused rows (duplicate reports, refused readings): $refused"
[ "$(mariadb_sql -N DAVIV -e 'SELECT LENGTH(GUID) FROM JCJG_CUSER')" = 36 ] ||
  fail "no identifier agreed"
journal=$(cat "$work"/machine/var/log/pelvar/*/*.log | iconv -f GBK -t UTF-8)
grep -q '上传检测报告信息：' <<<"$journal" || fail "no reports summary in the journal"

# A click on the icon shows the window.
icon=$(docked_icons | grep -o '0x[0-9a-f]*' | head -1)
DISPLAY=$XDISPLAY xdotool mousemove --window "$icon" 4 4 click 1
has_window() { [ -n "$(titled_viewable)" ]; }
if wait_until 20 has_window; then
  # Away from the icon, so that its tooltip is gone from the picture.
  DISPLAY=$XDISPLAY xdotool mousemove 100 700
  sleep 2
  import -display "$XDISPLAY" -window root "$artefacts/wine-window.png"
else
  fail "a click on the icon did not show the window"
fi

# The tray menu at the icon, for its picture.
DISPLAY=$XDISPLAY xdotool mousemove --window "$icon" 4 4 click 3
sleep 2
import -display "$XDISPLAY" -window root "$artefacts/wine-tray-menu.png"
DISPLAY=$XDISPLAY xdotool key Escape
sleep 1

# The settings dialog, for its picture: Stop, then 设置 with the day's
# password (day, month, two-digit year of the prefix's clock, which follows
# the server's, which is this machine's).
window=$(titled_viewable | head -1)
if [ -n "$window" ]; then
  DISPLAY=$XDISPLAY xdotool mousemove --window "$window" 240 395 click 1
  sleep 3
  DISPLAY=$XDISPLAY xdotool mousemove --window "$window" 42 395 click 1
  sleep 2
  DISPLAY=$XDISPLAY xdotool type --delay 50 "$(date +%d%m%y)"
  DISPLAY=$XDISPLAY xdotool key Return
  settings_shown() { tree | grep -F '"信息设置"' | grep -o '0x[0-9a-f]*' | while read -r id; do
    xwininfo -display "$XDISPLAY" -id "$id" 2>/dev/null | grep -q IsViewable && echo "$id"; done | grep -q .; }
  if wait_until 20 settings_shown; then
    sleep 3
    import -display "$XDISPLAY" -window root "$artefacts/wine-settings.png"
  else
    fail "the settings dialog did not open after Stop and the password"
  fi
fi

# End the program, then uninstall: the programs go, the settings and the
# journal folder stay.
WINEPREFIX=$wine_prefix wineserver -k 2>/dev/null || true
sleep 1
wine_in 'C:\Program Files\Pelvar\uninstall.exe' /S || fail "the uninstaller ended with $?"
WINEPREFIX=$wine_prefix wineserver -w
for file in pelvar.exe pelvar-cli.exe uninstall.exe; do
  [ ! -e "$program_files/$file" ] || fail "left after uninstalling: $file"
done
[ ! -e "$start_menu" ] || fail "the Start menu entry is left"
[ -z "$(run_value)" ] || fail "the autostart entry is left: $(run_value)"
wine_in reg query "$settings_key" /v Dwbh /reg:32 2>/dev/null | grep -q $agency ||
  fail "the settings went with the uninstaller"
[ -d "$wine_prefix/drive_c/ProgramData/Pelvar/journal" ] || fail "the journal folder went"
if [ "$failed" = 0 ]; then
  echo "gui-end-to-end: installed, uploaded ($server_counts), shown and uninstalled; pictures in $artefacts"
fi
exit "$failed"
