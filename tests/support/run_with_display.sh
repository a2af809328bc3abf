#!/bin/sh
# Runs a window test: under the current display when there is one, else under
# a private Xvfb server. -displayfd lets the server pick a free display itself,
# so parallel runs never race for one number. The server never resets
# (-noreset): a reset as a test's first connection closes would refuse the
# next one.
#
# On some sandboxed kernels a connection to the X server is now and then
# refused outright (EAGAIN or a reset on connect), which the game reports as
# "Couldn't open X11 display". Such a run says nothing about the code, so it
# is retried a few times, on a new server when the old one is gone; any other
# failure stands.
if [ -n "$DISPLAY" ]; then
  exec "$@"
fi
dir=$(mktemp -d "${TMPDIR:-/tmp}/zerv-xvfb-XXXXXX") || exit 1

start_server() {
  rm -f "$dir/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/xvfb.log" &
  server=$!
  tries=0
  while [ ! -s "$dir/display" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 $server 2>/dev/null; then
      echo "Xvfb failed to start:" >&2
      cat "$dir/xvfb.log" >&2
      kill $server 2>/dev/null
      rm -rf "$dir"
      exit 1
    fi
    sleep 0.1
  done
  DISPLAY=":$(cat "$dir/display")"
  export DISPLAY
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
      start_server
    fi
    attempt=$((attempt + 1))
    continue
  fi
  break
done
cat "$dir/output"
kill $server 2>/dev/null
wait $server 2>/dev/null
rm -rf "$dir"
exit $status
