#!/usr/bin/env bash
# The Wine prefix of the Wine tests and its own wineserver.
#
#   wine-prefix.sh start PREFIX WINE_DIR   make the prefix (once), start its wineserver
#   wine-prefix.sh stop  PREFIX WINE_DIR   stop that wineserver
#
# WINE_DIR holds wine64 and wineserver (Debian's wine64 package: /usr/lib/wine).
#
# Wine maps COM ports to the machine's serial devices by itself: at every start of its
# services it links dosdevices/comN to each /dev/ttyS*, /dev/ttyUSB* and /dev/ttyACM*
# that exists. The prefix keeps that from reaching a device: every port from COM1 to
# COM255 is declared empty under HKLM\Software\Wine\Ports (so no link is made for it, and
# an existing one is removed), and the one port Wine can still link, COM256, is removed
# once the services run. The tests then link com1 to the simulated unit themselves and
# check before and after every run that no other port exists.
#
# A COM name with no link is never to be opened by a test: Wine then falls back to the
# machine's /dev/ttyS<n-1> itself. A test that needs a port that does not open links it to a
# directory, and one that needs a name that is no serial port links it to a plain file.
#
# The prefix's programs get a display of their own: start runs a private X server (Xvfb)
# with a window manager (openbox) before anything of Wine starts, and writes its name
# (":N") to PREFIX.display. Every Wine program then sees it, the desktop process the
# services start included, which keeps the display it saw for all later programs: without
# one at that moment no program of the prefix could make a window. stop ends both.
set -euo pipefail

action=$1
export WINEPREFIX=$2
wine_dir=$3
export WINEDEBUG=-all
# Wine spells Unix file names in the locale's character set; C.UTF-8 is always there.
export LC_ALL=C.UTF-8
# No installer dialogs for the .NET and HTML runtimes: neither program needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
log="$WINEPREFIX.log"

remove_port_links() {
  find "$WINEPREFIX/dosdevices" -maxdepth 1 -type l \( -iname 'com[0-9]*' -o -iname 'lpt[0-9]*' \) -delete
}

stop_display() {
  local pid_file
  for pid_file in "$WINEPREFIX.openbox.pid" "$WINEPREFIX.xvfb.pid"; do
    if [ -f "$pid_file" ]; then
      kill -TERM "$(cat "$pid_file")" 2>/dev/null || true
      rm -f "$pid_file"
    fi
  done
  rm -f "$WINEPREFIX.display"
}

start_display() {
  stop_display
  local number_file="$WINEPREFIX.display-number" number=""
  rm -f "$number_file"
  # The server picks a free display number itself and writes it once it is ready.
  setsid Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$number_file" </dev/null >>"$log" 2>&1 &
  echo $! >"$WINEPREFIX.xvfb.pid"
  for _ in $(seq 1 100); do
    number=$(head -n 1 "$number_file" 2>/dev/null || true)
    [ -n "$number" ] && break
    sleep 0.1
  done
  rm -f "$number_file"
  [ -n "$number" ] || { echo "wine-prefix: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$number"
  setsid openbox --sm-disable </dev/null >>"$log" 2>&1 &
  echo $! >"$WINEPREFIX.openbox.pid"
  for _ in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
    { echo "wine-prefix: openbox did not take the display" >&2; exit 1; }
  echo "$DISPLAY" >"$WINEPREFIX.display"
}

check_no_port_links() {
  local found
  found=$(find "$WINEPREFIX/dosdevices" -maxdepth 1 \( -iname 'com[0-9]*' -o -iname 'lpt[0-9]*' \) -printf '%f ')
  if [ -n "$found" ]; then
    echo "wine-prefix: ports left in the prefix: $found" >&2
    exit 1
  fi
}

case "$action" in
  start)
    # A server left behind by an interrupted run goes first.
    "$wine_dir/wineserver" -k >/dev/null 2>&1 || true
    start_display
    if [ ! -f "$WINEPREFIX/.ports-hidden" ]; then
      rm -rf "$WINEPREFIX"
      "$wine_dir/wine64" wineboot -i </dev/null >>"$log" 2>&1
      reg="$WINEPREFIX/hidden-ports.reg"
      {
        printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        for n in $(seq 1 255); do printf '"COM%d"=""\r\n' "$n"; done
      } >"$reg"
      "$wine_dir/wine64" reg import "$(printf 'Z:%s' "$reg" | tr / '\\')" </dev/null >>"$log" 2>&1
      "$wine_dir/wineserver" -w
      grep -q '^"COM255"=""' "$WINEPREFIX/system.reg" || { echo "wine-prefix: port settings not stored" >&2; exit 1; }
      touch "$WINEPREFIX/.ports-hidden"
    fi
    remove_port_links
    # Its own server for the tests: in the foreground (-f) of a session of its own, so it
    # holds no terminal, and persistent (-p), so the services start once for all runs.
    setsid "$wine_dir/wineserver" -f -p </dev/null >>"$log" 2>&1 &
    # Programs find the server by a socket named after the prefix's device and inode, in a
    # directory of the user's under /tmp; the next program must not start a server of its own.
    server=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
    for _ in $(seq 1 100); do
      if compgen -G "/tmp/.wine-$(id -u)/$server/socket" >/dev/null || compgen -G "/tmp/wine-*/$server/socket" >/dev/null; then
        break
      fi
      sleep 0.1
    done
    # Starting a program starts the services, which make their port links now.
    "$wine_dir/wine64" cmd /c exit </dev/null >>"$log" 2>&1
    remove_port_links
    check_no_port_links
    ;;
  stop)
    "$wine_dir/wineserver" -k >/dev/null 2>&1 || true
    "$wine_dir/wineserver" -w >/dev/null 2>&1 || true
    stop_display
    remove_port_links
    ;;
  *)
    echo "usage: wine-prefix.sh start|stop PREFIX WINE_DIR" >&2
    exit 2
    ;;
esac
