#!/usr/bin/env bash
# Times gen at 4010 rounds on random inputs of several sizes and prints
# wall time, CPU time and peak resident memory for each.
# Usage: bench/run.sh [BUILD_DIR] [SIZE_KIB ...]   (default sizes: 1 16 64)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 16 64)

stamp=$("$build/bench/second_for" 4010)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-8s %8s %8s %10s %12s\n' input wall_s cpu_s peak_MiB crypt_bytes
for kib in "${sizes[@]}"; do
  head -c $((kib * 1024)) /dev/urandom > "$work/flag"
  rm -f "$work/crypt"
  ( cd "$work" && TZ=UTC /usr/bin/time -o "$work/time" -f '%e %U %S %M' \
      faketime -f "$stamp" "$build/gen" > /dev/null )
  read -r wall user sys kb < "$work/time"
  awk -v n="${kib}KiB" -v w="$wall" -v u="$user" -v s="$sys" -v k="$kb" -v c="$(stat -c %s "$work/crypt")" \
    'BEGIN { printf "%-8s %8.2f %8.2f %10.1f %12d\n", n, w, u + s, k / 1024, c }'
done
