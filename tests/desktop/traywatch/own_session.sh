#!/usr/bin/env bash
# Runs a Windows test program in a Wine prefix and session of its own, on the display of the
# run:   own_session.sh WINE PROGRAM [ARGUMENTS...]
# The session that sets a prefix up runs two service managers side by side, each with its own
# list of services, and clients reach either: a test of the service manager waits for that
# session to end and runs in the next one, which has one.
set -euo pipefail
wine="$1"
shift
prefix="$(mktemp -d /tmp/traywatch-session.XXXXXX)"
export WINEPREFIX="$prefix" WINEDEBUG=-all
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1 || true
# Without a window manager (Xvfb) Wine waits 2 s for each hidden managed window.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
timeout 120 wineserver -w
"$wine" "$@"
