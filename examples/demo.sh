#!/usr/bin/env bash
# The demo: a fresh virtual key served by keysimd, skfdemo driving it through tokencore, and the
# OpenSSL command line checking the signatures skfdemo made on the key.
#
# Environment: SKFDEMO_BIN  folder with skfdemo, libtokencore.so, readerio.so, keysimd and
#                           keysimctl (default: build/native/bin of this checkout)
#              SKFDEMO_KEY  blank | provisioned (default: blank when tokencore can format a
#                           key, provisioned otherwise)
#              SKFDEMO_DESKTOP  folder of the Windows build (certdesk.exe, its libraries and
#                           certdesk_demo_shot.exe); when set, the demo ends by opening certdesk
#                           under Wine and Xvfb on the key and saving a screenshot of its window
#              SKFDEMO_WINE  the Wine loader of that build (default: wine; /usr/lib/wine/wine64
#                           for the x86-64 build)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="${SKFDEMO_BIN:-$here/../build/native/bin}"
bin="$(cd "$bin" && pwd)"
id="ALICE123@YAHOO.COM"
key_name="demo"

for f in skfdemo libtokencore.so readerio.so keysimd keysimctl; do
  [ -e "$bin/$f" ] || { echo "demo: $bin/$f is missing: build native first" >&2; exit 2; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/skfdemo.XXXXXX")"
daemon=""
# shellcheck disable=SC2317  # run by the trap
stop() {
  if [ -n "$daemon" ]; then
    "$bin/keysimctl" shutdown >/dev/null 2>&1 || kill "$daemon" 2>/dev/null || true
    wait "$daemon" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop EXIT

mkdir "$work/state" "$work/out"
"$bin/keysimd" --state "$work/state" --port 0 --port-file "$work/port" >"$work/keysimd.log" 2>&1 &
daemon=$!
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  kill -0 "$daemon" 2>/dev/null || { cat "$work/keysimd.log" >&2; exit 2; }
  sleep 0.05
done
[ -s "$work/port" ] || { echo "demo: keysimd did not start" >&2; exit 2; }
KEYSIM_ADDR="127.0.0.1:$(cat "$work/port")"
export KEYSIM_ADDR
echo "keysimd listening on $KEYSIM_ADDR, state in $work/state"

kind="${SKFDEMO_KEY:-}"
if [ -z "$kind" ]; then
  if nm -D --defined-only "$bin/libtokencore.so" | grep -qw SKF_FormatCard; then
    kind=blank
  else
    kind=provisioned
  fi
fi
case "$kind" in
  blank) "$bin/keysimctl" create "$key_name" ;;
  provisioned) "$bin/keysimctl" create --provisioned "$key_name" ;;
  *) echo "demo: SKFDEMO_KEY must be blank or provisioned" >&2; exit 2 ;;
esac
echo "virtual key \"$key_name\" created ($kind) and inserted"

openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:SM2 -out "$work/ca.key" 2>/dev/null
openssl req -x509 -new -key "$work/ca.key" -sm3 -sigopt "distid:1234567812345678" \
  -subj "/CN=skfdemo certificate" -days 30 -outform DER -out "$work/cert.der"
echo "certificate made by OpenSSL: $(stat -c %s "$work/cert.der") bytes"
printf 'A message signed on the key by skfdemo.\n' >"$work/message.txt"

echo "--- skfdemo"
status=0
"$bin/skfdemo" --cert "$work/cert.der" --message "$work/message.txt" --out "$work/out" \
  --id "$id" || status=$?
echo "--- OpenSSL"

# openssl dgst prints "Verified OK" or "Verification failure"; its exit code decides.
verify() {
  local what="$1" sig="$2"
  shift 2
  if [ ! -s "$sig" ]; then
    echo "skip  $what: skfdemo made no signature"
    return
  fi
  local out
  if out="$(openssl dgst "$@" -signature "$sig" "$work/message.txt" 2>&1)"; then
    echo "ok    $what: $out"
  else
    echo "FAIL  $what: $out"
    status=1
  fi
}
verify "SM2 signature, SM3 with ID \"$id\"" "$work/out/sm2.sig" \
  -sm3 -verify "$work/out/sm2pub.pem" -sigopt "distid:$id"
verify "RSA signature, PKCS#1 v1.5 with SHA-256" "$work/out/rsa.sig" \
  -sha256 -verify "$work/out/rsapub.pem"

# certdesk, the certificate user tool, on the same key: a fresh Wine prefix, a display of its
# own, code page 936.
desktop() {
  local win="$1" f
  for f in certdesk.exe cardcmd.dll devnotify.dll readerio.dll certdesk_demo_shot.exe; do
    [ -e "$win/$f" ] || { echo "FAIL  certdesk: $win/$f is missing: build windows first"; return 1; }
  done
  local wine="${SKFDEMO_WINE:-wine}"
  echo "--- certdesk (Wine: $wine, $win)"
  mkdir "$work/wine"
  WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
      LC_ALL=zh_CN.GBK "$2" wineboot -i >/dev/null 2>&1
      LC_ALL=zh_CN.GBK "$2" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f \
        >/dev/null 2>&1
      LC_ALL=zh_CN.GBK "$2" "$1/certdesk_demo_shot.exe"
      rc=$?
      wineserver -k >/dev/null 2>&1
      exit $rc' desktop "$win" "$wine" || { echo "FAIL  certdesk: no screenshot"; return 1; }
  echo "ok    certdesk: screenshot of its window in $win/certdesk_demo.png"
}
if [ -n "${SKFDEMO_DESKTOP:-}" ]; then
  desktop "$(cd "$SKFDEMO_DESKTOP" && pwd)" || status=1
fi

if [ "$status" -eq 0 ]; then echo "demo: every available step succeeded"; else echo "demo: failed"; fi
exit "$status"
