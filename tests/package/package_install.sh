#!/usr/bin/env bash
# The two Debian packages of a build tree, unpacked into a scratch root as dpkg lays them out,
# and run from there: the installed zub-server with its shipped configuration file (the command
# line overriding it) on a demo database, GET /saude, and a batch report of the installed
# zub-client, which must find its libraries, module and layouts relative to itself.
#   tests/package/package_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/zub-package.XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FALHA: $*" >&2
  if [ -f "$work/server.log" ]; then cat "$work/server.log" >&2; fi
  exit 1
}

cpack --config "$build_dir/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
server_deb=$(ls "$work"/packages/zub-server_*.deb)
client_deb=$(ls "$work"/packages/zub-client_*.deb)
root=$work/root
dpkg -x "$server_deb" "$root"
dpkg -x "$client_deb" "$root"

for file in usr/bin/zub-server lib/systemd/system/zub-server.service etc/zub/server.ini \
            usr/bin/zub-client usr/lib/zub/libPKG_ZUB01100.so usr/share/zub/reports/ZUB011/01-por-servico.json \
            usr/share/zub/help/index.html usr/share/zub/help/custoplanxreal.html usr/share/zub/help/ajuda.css \
            usr/share/applications/zub-client.desktop usr/share/icons/hicolor/scalable/apps/zub-client.svg; do
  [ -e "$root/$file" ] || fail "o pacote não instala /$file"
done
[ -e "$root/usr/lib/zub-server/libzubshared.so" ] || fail "o pacote não instala /usr/lib/zub-server/libzubshared.so"
for library in zubshared zubdata zubwork zubnet zubservices zubwidgets zubhost zubreport; do
  [ -e "$root/usr/lib/zub/lib$library.so" ] || fail "o pacote não instala /usr/lib/zub/lib$library.so"
done
# The unit as systemd reads it: any unknown or misspelt directive is only a warning to systemd, so
# every word it says fails here. Its program is looked up on this machine, hence the copy that
# points into the scratch root.
if command -v systemd-analyze >/dev/null 2>&1; then
  sed "s#^ExecStart=/usr/bin/zub-server#ExecStart=$root/usr/bin/zub-server#" "$root/lib/systemd/system/zub-server.service" \
    >"$work/zub-server.service"
  systemd-analyze verify "$work/zub-server.service" >"$work/verify.log" 2>&1 || fail "systemd-analyze verify: $(cat "$work/verify.log")"
  [ ! -s "$work/verify.log" ] || fail "systemd-analyze verify: $(cat "$work/verify.log")"
  # The exposure systemd reckons for the unit (0 safest, 10 most exposed) may only go down.
  exposure=$(systemd-analyze security --offline=true "$work/zub-server.service" 2>/dev/null \
    | sed -n 's/.*Overall exposure level for .*: \([0-9.]*\).*/\1/p')
  awk -v level="$exposure" 'BEGIN { exit !(level != "" && level <= 1.7) }' \
    || fail "exposição do serviço segundo systemd-analyze security: ${exposure:-ilegível} (no máximo 1.7)"
fi
# Read whole before matching: grep -q stops early, and pipefail would blame the writer's SIGPIPE.
server_control=$(dpkg-deb --ctrl-tarfile "$server_deb" | tar -t)
grep -qx './postinst' <<<"$server_control" || fail "zub-server sem postinst"
grep -qx '/etc/zub/server.ini' <<<"$(dpkg-deb --info "$server_deb" conffiles)" || fail "server.ini não é conffile"
grep -q 'libqt6sql6-psql' <<<"$(dpkg-deb --field "$server_deb" Depends)" || fail "zub-server não depende do driver do PostgreSQL"
grep -q 'libqt6sql6-sqlite' <<<"$(dpkg-deb --field "$client_deb" Depends)" || fail "zub-client não depende do driver do SQLite"
# The installed programs know nothing of the tree they were built in.
if grep -rlaF "$source_dir" "$root" >"$work/leaks"; then fail "arquivos instalados citam $source_dir: $(cat "$work/leaks")"; fi

"$root/usr/bin/zub-server" --database "sqlite:$work/demo.db" --create-demo --days 120 >"$work/demo.log" 2>&1 || { cat "$work/demo.log" >&2; fail "--create-demo"; }
(umask 077 && printf 'token-do-teste-de-pacote-0123456789' >"$work/server.token")
: >"$work/server.log" # the background server opens it after this shell may have read it
"$root/usr/bin/zub-server" --config "$root/etc/zub/server.ini" --database "sqlite:$work/demo.db" --listen 127.0.0.1:0 \
  --token-file "$work/server.token" >"$work/server.log" 2>&1 &
server_pid=$!
port=""
for _ in $(seq 1 200); do
  port=$(sed -n 's|.*atendendo em http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/server.log")
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || fail "o servidor instalado não iniciou"
  sleep 0.1
done
[ -n "$port" ] || fail "o servidor instalado não respondeu"

exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'GET /saude HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
health=$(cat <&3)
exec 3<&-
case "$health" in
  "HTTP/1.1 200"*'"ok":true'*) ;;
  *) fail "GET /saude respondeu: $health" ;;
esac

cat >"$work/client.ini" <<INI
[sessao]
filial=0101
operador=OP01
[servidor]
host=127.0.0.1
porta=$port
arquivo_token=server.token
INI
HOME="$work" QT_QPA_PLATFORM=offscreen "$root/usr/bin/zub-client" --config "$work/client.ini" --batch texto \
  --output "$work/relatorio.txt" --filter dataInicial=01/03/2025 --filter dataFinal=31/03/2025 --filter relatorio=1 \
  2>"$work/client.log" || { cat "$work/client.log" >&2; fail "o relatório em lote do cliente instalado falhou"; }
grep -q "Custo Planejado X Realizado por Filial Agregada" "$work/relatorio.txt" || fail "relatório sem o título do layout instalado: $(head -c 600 "$work/relatorio.txt")"
grep -q "Central: 0001 - Central Merenda Vila Nova" "$work/relatorio.txt" || fail "relatório sem a central do banco"
grep -q "Total geral" "$work/relatorio.txt" || fail "relatório sem o total geral"
# --help lists the batch's filter keys as the installed module describes them.
client_help=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/zub-client" --help)
grep -q '^  naoEstocaveis=true|false' <<<"$client_help" || fail "--help do cliente instalado sem as chaves dos filtros: $client_help"
echo "pacotes: $(basename "$server_deb") $(basename "$client_deb"); servidor e relatório em lote instalados: ok"
