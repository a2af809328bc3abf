#!/bin/sh
# Runs a command with an X display: under the current display when there is
# one, else under a private Xvfb server. Every test that needs a server of
# its own starts it here.
#
#   run_with_display.sh [--own-server] command [arguments...]
#
# --own-server: always a new server, even under a display, and one that
# resets when its last client leaves (the command is its only client).
# Without it the server never resets (-noreset): a reset as a test's first
# connection closes would refuse the next one.
#
# -displayfd lets the server pick a free display itself, so parallel runs
# never race for one number. A server that cannot take a number, or dies
# before it has written the whole number, is started again (it picks another
# number); after five tries the run fails with "Xvfb could not be started"
# and the server's own words. The command never runs without a display.
#
# On some sandboxed kernels a connection to the X server is now and then
# refused outright (EAGAIN or a reset on connect), which the game reports as
# "Couldn't open X11 display". Such a run says nothing about the code, so it
# is retried a few times, on a new server when the old one is gone; any other
# failure stands.
own_server=
if [ "$1" = "--own-server" ]; then
  own_server=1
  shift
fi
if [ -n "$DISPLAY" ] && [ -z "$own_server" ]; then
  exec "$@"
fi
dir=$(mktemp -d "${TMPDIR:-/tmp}/zerv-xvfb-XXXXXX") || exit 1
server=

stop_server() {
  if [ -n "$server" ]; then
    kill $server 2>/dev/null
    wait $server 2>/dev/null
    server=
  fi
}

# One try: true once the server has written its number and a newline and is
# still running; the number is then in $number.
try_server() {
  : >"$dir/display"
  if [ -n "$own_server" ]; then
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
  else
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/xvfb.log" &
  fi
  server=$!
  waited=0
  # A whole line, not the first digits of a number still being written.
  while [ "$(wc -l <"$dir/display")" -lt 1 ]; do
    waited=$((waited + 1))
    if [ $waited -gt 300 ] || ! kill -0 $server 2>/dev/null; then
      return 1
    fi
    sleep 0.1
  done
  number=$(head -n 1 "$dir/display")
  case "$number" in
    '' | *[!0-9]*) return 1 ;;
  esac
  kill -0 $server 2>/dev/null
}

start_server() {
  if ! command -v Xvfb >/dev/null 2>&1; then
    echo "Xvfb could not be started: no Xvfb on PATH" >&2
    rm -rf "$dir"
    exit 1
  fi
  for try in 1 2 3 4 5; do
    if try_server; then
      DISPLAY=":$number"
      export DISPLAY
      return 0
    fi
    echo "(Xvfb did not start, try $try: $(tail -n 3 "$dir/xvfb.log" | tr '\n' ' '))" >&2
    stop_server
  done
  echo "Xvfb could not be started:" >&2
  cat "$dir/xvfb.log" >&2
  rm -rf "$dir"
  exit 1
}

start_server
attempt=1
while :; do
  "$@" >"$dir/output" 2>&1
  status=$?
  if [ $status -ne 0 ] && [ $attempt -lt 5 ] && grep -q "Couldn't open X11 display" "$dir/output"; then
    echo "(X server refused the connection; retrying, attempt $attempt)"
    if ! kill -0 $server 2>/dev/null; then
      echo "(the X server had gone: $(tail -n 3 "$dir/xvfb.log" | tr '\n' ' '); starting another)"
      server=
      start_server
    fi
    attempt=$((attempt + 1))
    continue
  fi
  break
done
cat "$dir/output"
stop_server
rm -rf "$dir"
exit $status
