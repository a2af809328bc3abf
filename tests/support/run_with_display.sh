#!/bin/sh
# Runs a window test: under the current display when there is one, else
# under a private Xvfb server.
if [ -n "$DISPLAY" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
