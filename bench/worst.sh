#!/usr/bin/env bash
# Times ungen's whole-range search on the crypt shapes that read as the
# most round counts: one (1, 0) pair among zeros undoes at every depth, so
# a first-draw screen lets almost every second through. Each crypt is
# made by gen at a second far from its modification time (2023-11-14), so
# the whole range is searched; those made with musl's and macOS's draws
# also go past glibc's phase to every other C library's (1 and 3 zeros
# that way is the slowest found).
# Prints exit status, wall time and peak resident memory of each; a case
# still running after TIMEOUT seconds (default 600) is cut off.
# Usage: bench/worst.sh [BUILD_DIR]
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
limit=${TIMEOUT:-600}
jobs=${JOBS:-2}
work=$(mktemp -d "${BENCH_DIR:-/tmp}/gen-worst.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# shape NAME ZEROS [LIBC]: gen's crypt of one 1 byte and ZEROS zero bytes,
# made at a second that draws 40 rounds with glibc (with LIBC's draws
# through the model, where given).
made=$(TZ=UTC date -d "$("$build/bench/second_for" 40 1765200000)" +%s)
shape() {
  python3 -c "import sys; sys.stdout.buffer.write(b'\x01' + b'\x00' * $2)" > flag
  if [ -n "${3:-}" ]; then
    "$build/bench/encode_as" "$3" "$made" "$1" < flag || return 1
  else
    TZ=UTC faketime "@$made" "$build/gen" > /dev/null && mv crypt "$1"
  fi
}

printf '1 1 1 0 ' > pair-of-4
shape zeros-4 3
shape zeros-8 7
shape zeros-16 15
shape zeros-64 63
shape zeros-2000 1999
if [ -x "$build/bench/encode_as" ]; then
  shape zeros-4-macos 3 macos
  shape zeros-10-musl 9 musl
  shape zeros-10-macos 9 macos
fi

printf '%-16s %6s %9s %9s\n' crypt exit wall_s peak_MiB
for c in pair-of-4 zeros-4 zeros-8 zeros-16 zeros-64 zeros-2000 zeros-4-macos zeros-10-musl zeros-10-macos; do
  [ -f "$c" ] || continue
  touch -d @1700000000 "$c"
  /usr/bin/time -q -o time -f '%e %M' timeout "$limit" "$build/ungen" -j "$jobs" -o out -f "$c" \
    > /dev/null 2> err
  status=$?
  read -r wall kb < time
  [ "$status" = 124 ] && wall=">$limit"
  awk -v n="$c" -v s="$status" -v w="$wall" -v k="$kb" \
    'BEGIN { printf "%-16s %6s %9s %9.1f\n", n, s, w, k / 1024 }'
done
