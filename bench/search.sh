#!/usr/bin/env bash
# Times ungen's search for the second, without --time:
#  - every C library's screen over all 2^32 seconds for one round count,
#    with 1 and 2 threads (screen_bench, which also checks the vectorised
#    screens by seed against the whole-range ones);
#  - the whole 32-bit range for a crypt that no second makes (gen run with
#    scripted draws), with glibc's draws alone and with every C library's,
#    with 1 and 2 jobs;
#  - a 1 MiB input at 4010 rounds whose second lies three years before the
#    crypt's modification time, and one whose second lies after it (so the
#    whole range goes by), beside ungen --time on the same crypt.
# Prints wall time and peak resident memory of each (best of RUNS).
# Usage: bench/search.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${RUNS:-3}
work=$(mktemp -d "${BENCH_DIR:-/tmp}/gen-search.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

best_of() {
  local best=""
  for _ in $(seq "$runs"); do
    /usr/bin/time -q -o time -f '%e %M' "$@" > /dev/null 2> err || true
    read -r wall kb < time
    if [ -z "$best" ] || awk -v a="$wall" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best="$wall $kb"
    fi
  done
  echo "$best"
}
row() { awk -v n="$1" -v w="$2" -v k="$3" 'BEGIN { printf "%-44s %8.2f %9.1f\n", n, w, k / 1024 }'; }

"$build/bench/screen_bench" 50 1 2
echo
printf '%-44s %8s %9s\n' case wall_s peak_MiB
head -c 40 /dev/urandom > flag
script="50$(for _ in $(seq 50); do printf ' %d' $((RANDOM * 32768 + RANDOM)); done)"
# LD_PRELOAD splits at spaces: the library from a path with none.
cp "$build/tests/libtrace_rand.so" "$work/"
LD_PRELOAD="$work/libtrace_rand.so" RAND_SCRIPT="$script" "$build/gen" > /dev/null
for j in 1 2; do
  read -r glibc kb < <(best_of "$build/ungen" --libc glibc -j "$j" crypt)
  grep -q 'no encoding run matches any second' err || { echo "unexpected: $(cat err)" >&2; exit 1; }
  row "whole-range miss, 40 bytes, glibc, -j $j" "$glibc" "$kb"
  read -r wall kb < <(best_of "$build/ungen" -j "$j" crypt)
  grep -q 'no encoding run matches any second' err || { echo "unexpected: $(cat err)" >&2; exit 1; }
  row "the same, every C library, -j $j" "$wall" "$kb"
  awk -v a="$wall" -v b="$glibc" 'BEGIN { printf "%-44s %8.2f\n", "  every C library / glibc alone", a / b }'
done

stamp=$("$build/bench/second_for" 4010 1700000000)
second=$(TZ=UTC date -d "$stamp" +%s)
head -c $((1024 * 1024)) /dev/urandom > flag
TZ=UTC faketime -f "$stamp" "$build/gen" > /dev/null
touch -d "@$((second + 3 * 365 * 86400))" crypt
read -r wall kb < <(best_of "$build/ungen" -t "$second" crypt)
row "1 MiB, --time" "$wall" "$kb"
read -r wall kb < <(best_of "$build/ungen" -o out -f crypt)
cmp -s out flag || { echo "ungen did not restore the 1 MiB input" >&2; exit 1; }
row "1 MiB, second 3 years before the file time" "$wall" "$kb"
touch -d "@$((second - 1))" crypt
read -r wall kb < <(best_of "$build/ungen" -o out -f crypt)
cmp -s out flag || { echo "ungen did not restore the 1 MiB input" >&2; exit 1; }
row "1 MiB, second 1 s after the file time" "$wall" "$kb"
