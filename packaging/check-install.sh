#!/usr/bin/env bash
# Installs a build into a scratch prefix and builds the library example
# against that prefix alone, once with pkg-config and once with
# find_package(gen), then runs both.
# Usage: packaging/check-install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix with space"

cmake --install "$build" --prefix "$prefix" > /dev/null
want="ok: hello, library (second 1765200000)
ok: hello, library (second 1765200000)
not a crypt: byte 3: expected a digit or '-'"

echo "== pkg-config"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# pkg-config escapes the spaces in a path with backslashes, as a shell
# word would: read without -r takes them so.
# shellcheck disable=SC2162
read -a flags <<< "$(pkg-config --cflags --libs gen)"
g++ -std=c++17 -Wall -Wextra "$here/examples/library/roundtrip.cpp" -o "$work/by-pkg-config" "${flags[@]}"
got=$("$work/by-pkg-config")
[ "$got" = "$want" ] || { echo "unexpected output:"; echo "$got"; exit 1; } >&2

echo "== find_package"
cmake -S "$here/examples/library" -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" > /dev/null
cmake --build "$work/example" > /dev/null
got=$("$work/example/roundtrip")
[ "$got" = "$want" ] || { echo "unexpected output:"; echo "$got"; exit 1; } >&2
echo "== installed library checked"
