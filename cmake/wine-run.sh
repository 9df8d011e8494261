#!/usr/bin/env bash
# Runs a Windows program under wine64, quietly and without the installer dialogs that a
# new prefix would otherwise show. The prefix is VORNSET_WINEPREFIX (each build tree sets
# its own) or a throw-away one in the temporary directory.
set -euo pipefail
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${VORNSET_WINEPREFIX:-${TMPDIR:-/tmp}/vornset-wine-$(id -u)}"
mkdir -p "$WINEPREFIX"
# The wine server and the prefix's system processes (services, devices) outlive the
# program. Whoever starts them hands them its output: started here, detached, they
# cannot hold the caller's pipes open after the program ends (a test runner would wait
# for them forever). wineboot starts any that are not running, also when a prefix made
# earlier lost its processes, and creates the prefix when it is new.
wineserver -p </dev/null >/dev/null 2>&1 || true  # fails harmlessly when one already runs
timeout 300 wine wineboot </dev/null >/dev/null 2>&1
exec wine "$@"
