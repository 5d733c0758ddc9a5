#!/usr/bin/env bash
# Times gen at 4010 rounds on random inputs of several sizes: wall time,
# CPU time and peak resident memory (best of RUNS runs, each into a fresh
# crypt), and beside it the time cp takes to copy that crypt on the same
# file system, and the time and peak memory of ungen restoring the input
# from it given the second. Then the in-process comparison of the two evaluations at
# 32 KiB (the round-by-round one forced).
# Usage: bench/run.sh [BUILD_DIR] [SIZE_KIB ...]   (default: 1 16 64 1024)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 16 64 1024)
runs=${RUNS:-3}

stamp=$("$build/bench/second_for" 4010)
second=$(TZ=UTC date -d "$stamp" +%s)
work=$(mktemp -d "${BENCH_DIR:-/tmp}/gen-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# best_of CMD...: runs CMD $runs times and prints "wall cpu peak_kib" of the
# fastest run.
best_of() {
  local best=""
  for _ in $(seq "$runs"); do
    rm -f "$work/crypt" "$work/copy"
    sync
    /usr/bin/time -o "$work/time" -f '%e %U %S %M' "$@" > /dev/null
    read -r wall user sys kb < "$work/time"
    line=$(awk -v w="$wall" -v u="$user" -v s="$sys" -v k="$kb" 'BEGIN { print w, u + s, k }')
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  echo "$best"
}

printf '%-8s %8s %8s %9s %13s %8s %7s %9s %10s %10s\n' input wall_s cpu_s peak_MiB crypt_bytes cp_s gen/cp ungen_s ungen_MiB ungen/gen
cd "$work"
for kib in "${sizes[@]}"; do
  head -c $((kib * 1024)) /dev/urandom > flag
  read -r wall cpu kb < <(best_of env TZ=UTC faketime -f "$stamp" "$build/gen")
  bytes=$(stat -c %s crypt)
  mv crypt keep
  read -r cpwall _ _ < <(best_of sh -c 'cp keep copy')
  read -r unwall _ unkb < <(best_of "$build/ungen" -t "$second" -o copy keep)
  cmp -s copy flag || { echo "ungen did not restore the ${kib} KiB input" >&2; exit 1; }
  rm -f keep copy
  awk -v n="${kib}KiB" -v w="$wall" -v c="$cpu" -v k="$kb" -v b="$bytes" -v p="$cpwall" \
      -v u="$unwall" -v uk="$unkb" \
    'function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
     BEGIN { printf "%-8s %8.2f %8.2f %9.1f %13d %8.2f %7s %9.2f %10.1f %10s\n",
             n, w, c, k / 1024, b, p, ratio(w, p), u, uk / 1024, ratio(u, w) }'
done

echo
echo "32 KiB at 4010 rounds, in process (CPU time):"
"$build/bench/encode_bench" --benchmark_filter='^(Stepwise|Batched)/' --benchmark_color=false 2>&1 |
  grep -E '^(Stepwise|Batched)/'
