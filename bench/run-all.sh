#!/usr/bin/env bash
# Every figure of the README's "Benchmark" and "Load" tables with one command, each measured
# beside its baseline (the plain query of the same result) in the same run, as the median and
# spread of several runs:
#   bench/run-all.sh [PASTA]        (default /tmp/zub-bench; reused by later runs)
# ZUB_BENCH_REPEAT (default 5) sets the runs per figure; ZUB_BENCH_CENTRALS (e.g. "1 3 9") adds a
# central's year in databases of that many centrals of 300 schools (PostgreSQL); ZUB_BENCH_CLUSTER=1
# adds the report cycles a second of the reference cluster with 1, 2 and 3 servers (needs its
# packages, see packaging/cluster/zub-cluster); ZUB_BENCH_LOAD=1 adds ping and lookups under
# year-long preparations, a connection flood and sign-in loops.
# The 300-school data is made once per database (a few minutes each) and kept in PASTA; the
# PostgreSQL cluster (db/pgcluster, port ZUB_BENCH_PG_PORT, default 55433) is stopped at the end.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${ZUB_BUILD_DIR:-$here/build}/bin"
work="${1:-/tmp/zub-bench}"
repeat="${ZUB_BENCH_REPEAT:-5}"
port="${ZUB_BENCH_PG_PORT:-55433}"
for tool in zub-server zub-bench zub-serverload zub-bench-faltas zub-bench-preview; do
  [ -x "$bin/$tool" ] || { echo "run-all: $bin/$tool não existe; rode ./zub build antes" >&2; exit 2; }
done
mkdir -p "$work" && chmod 755 "$work"
trap '"$here/db/pgcluster" stop "$work/pg" || true' EXIT
"$here/db/pgcluster" start "$work/pg" "$port" >/dev/null
pg="postgresql://zub@127.0.0.1:$port"

# A database that already holds the demo data is reused; otherwise it is made.
has_demo() {
  case "$1" in
    sqlite:*) [ -s "${1#sqlite:}" ] && "$bin/zub-server" --database "$1" --list-operators >/dev/null 2>&1 ;;
    *) [ "$(psql "$1" -qAt -c 'SELECT COUNT(*) FROM FILIAL' 2>/dev/null || true)" -gt 0 ] 2>/dev/null ;;
  esac
}
pg_database() {
  local name="$1" exists
  exists=$(psql "$pg/zub" -qAt -c "SELECT 1 FROM pg_database WHERE datname = '$name'")
  [ "$exists" = 1 ] || psql "$pg/zub" -qAt -c "CREATE DATABASE $name" >/dev/null
  echo "$pg/$name"
}
demo() { # URL [--centrals N]
  local url="$1"; shift
  has_demo "$url" || "$bin/zub-server" --database "$url" --create-demo --branches 300 "$@"
}

sqlite="sqlite:$work/bench300.db"
postgres="$(pg_database bench300)"
demo "$sqlite"
demo "$postgres"

echo "== Caminho do relatório, régua e cliente em lote (medianas de $repeat) =="
"$bin/zub-bench" --database "$sqlite" --database "$postgres" --reuse --repeat "$repeat"

# On a desktop of its own (Xvfb, openbox) when there is Xvfb, as an office machine shows it.
echo "== Visualizar um relatório grande no cliente (SQLite) =="
if command -v Xvfb >/dev/null; then
  "$here/tests/support/desktop-session.sh" -- "$bin/zub-bench-preview" --database "$sqlite" --repeat "$repeat"
else
  "$bin/zub-bench-preview" --database "$sqlite" --repeat "$repeat"
fi

echo "== Dias com registros incompletos =="
"$bin/zub-bench-faltas" --database "$sqlite" --database "$postgres" --repeat "$repeat"

for url in "$sqlite" "$postgres"; do
  echo "== Ciclo completo, 100 clientes, 300 escolas, períodos do dia 1 ao 28: ${url%%:*} =="
  "$bin/zub-serverload" cycle --database "$url" --clients 100 --rounds "$repeat"
done

for centrals in ${ZUB_BENCH_CENTRALS:-}; do
  url="$(pg_database "bench300c$centrals")"
  demo "$url" --centrals "$centrals"
  echo "== Ano da central 0001 com $centrals centrais de 300 escolas (PostgreSQL) =="
  "$bin/zub-bench" --database "$url" --reuse --repeat "$repeat" --year-only
done

if [ "${ZUB_BENCH_CLUSTER:-0}" = 1 ]; then
  for servers in 1 2 3; do
    echo "== Agrupamento de referência: $servers servidores, 20 clientes, 30 s =="
    "$here/packaging/cluster/zub-cluster" measure "$bin" "$servers" 30
  done
fi

if [ "${ZUB_BENCH_LOAD:-0}" = 1 ]; then
  echo "== Ping e consultas com 4 preparações de um ano sem pausa (SQLite) =="
  "$bin/zub-serverload" lanes --database "$sqlite" --seconds 30
  echo "== Conexões abertas e fechadas, 50 por segundo =="
  "$bin/zub-serverload" flood --database "$sqlite" --rate 50 --seconds 60
  echo "== Laços de entrada e saída de 32 operadores =="
  "$bin/zub-serverload" signins --database "$sqlite" --clients 32 --seconds 15
fi
