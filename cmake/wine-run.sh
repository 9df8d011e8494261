#!/usr/bin/env bash
# Runs a Windows program under wine64 in a throw-away prefix, quietly and without
# the installer dialogs that a new prefix would otherwise show.
set -euo pipefail
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${VORNSET_WINEPREFIX:-${TMPDIR:-/tmp}/vornset-wine-$(id -u)}"
exec wine "$@"
