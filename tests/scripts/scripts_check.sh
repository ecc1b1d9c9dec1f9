#!/usr/bin/env bash
# Checks the project's shell scripts as a fresh machine would meet them.
#   scripts_check.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build_dir="$1"
source_dir="$2"
fail() { echo "FALHA: $*" >&2; exit 1; }

# 1. Under pipefail, a reader that may stop early (grep -q, grep -m, head) makes the writer die
#    of SIGPIPE now and then, and the pipeline fail though the match was found.
scripts=()
for f in "$source_dir/zub" "$source_dir/.ci/run" "$source_dir"/db/* "$source_dir"/packaging/server/* \
         "$source_dir"/tests/*/*.sh; do
  [ -f "$f" ] && [[ "$(head -c 2 "$f")" == '#!' ]] && scripts+=("$f")
done
[ "${#scripts[@]}" -ge 4 ] || fail "poucos scripts encontrados em $source_dir"
early_reader='\|[[:space:]]*(grep[[:space:]]+(-[a-zA-Z]*[qm]|--quiet|--max-count)|head([[:space:]]|$))'
offenders=""
for f in "${scripts[@]}"; do
  grep -q 'pipefail' "$f" || continue
  hits=$(grep -nE "$early_reader" "$f" | grep -v '^[0-9]*:[[:space:]]*#' || true)
  [ -z "$hits" ] || offenders+="$f:"$'\n'"$hits"$'\n'
done
[ -z "$offenders" ] || fail "leitor que termina cedo num pipe sob pipefail:"$'\n'"$offenders"

# 2. ./zub demo makes the demo database and its operator, and a second run on what the first
#    left (the operator already there) succeeds and keeps the sign-in working.
work="$(mktemp -d "${TMPDIR:-/tmp}/zub-scripts.XXXXXX")"
trap 'rm -rf "$work"' EXIT
for round in 1 2 3; do
  ZUB_BUILD_DIR="$build_dir" ZUB_VAR_DIR="$work" "$source_dir/zub" demo >"$work/demo.$round.log" 2>&1 \
    || fail "./zub demo, rodada $round: $(cat "$work/demo.$round.log")"
done
operators=$("$build_dir/bin/zub-server" --database "sqlite:$work/demo.db" --list-operators)
[ "$(grep -c '^CEN0001 ' <<<"$operators")" = 1 ] || fail "CEN0001 deveria aparecer uma vez: $operators"
[ "$(stat -c %a "$work/operador.cred")" = 600 ] || fail "operador.cred não é só do dono"
grep -qx 'operador=CEN0001' "$work/operador.cred" || fail "operador.cred sem o operador"
echo "ok"
