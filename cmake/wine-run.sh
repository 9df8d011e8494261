#!/usr/bin/env bash
# Runs a Windows program under wine64 in a throw-away prefix, quietly and without
# the installer dialogs that a new prefix would otherwise show.
set -euo pipefail
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${VORNSET_WINEPREFIX:-${TMPDIR:-/tmp}/vornset-wine-$(id -u)}"
# The wine server and the prefix's services outlive the program. Started here with
# their output detached, they cannot hold the caller's pipes open after it ends.
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  wine wineboot -i </dev/null >/dev/null 2>&1
fi
wineserver -p </dev/null >/dev/null 2>&1 || true  # fails harmlessly when one already runs
exec wine "$@"
