#!/usr/bin/env bash
# Time from starting zub-client to the report screen on the display: the demo central's operator
# signed in, the screen's lookups and the branch cache answered by the server on loopback.
# Run under a display after ./zub demo, e.g.:  xvfb-run -a bench/screenopen.sh [runs]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ZUB_BUILD_DIR:-$here/build}"
var="${ZUB_VAR_DIR:-$here/var}"
runs="${1:-5}"
port=47125
command -v xdotool >/dev/null || { echo "screenopen: instale o xdotool (apt-get install xdotool)" >&2; exit 2; }
[ -s "$var/demo.db" ] || { echo "screenopen: rode ./zub demo antes" >&2; exit 2; }
config="$(mktemp)"
trap 'rm -f "$config"; kill "$server" 2>/dev/null || true' EXIT
printf '[servidor]\nhost=127.0.0.1\nporta=%s\n[relatorios]\npasta=%s/reports\n' "$port" "$here" > "$config"
"$build/bin/zub-server" --database "sqlite:$var/demo.db" --listen "127.0.0.1:$port" >/dev/null 2>&1 &
server=$!
until (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do sleep 0.05; done
for i in $(seq 1 "$runs"); do
  start=$(date +%s%N)
  "$build/bin/zub-client" --config "$config" --credentials "$var/operador.cred" --open PKG_ZUB01100 >/dev/null 2>&1 &
  client=$!
  until xdotool search --onlyvisible --name "Planejamento de Alimenta" >/dev/null 2>&1; do sleep 0.01; done
  echo "abertura $i: $(( ($(date +%s%N) - start) / 1000000 )) ms"
  kill "$client"; wait "$client" 2>/dev/null || true
done
