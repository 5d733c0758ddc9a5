#!/usr/bin/env bash
# Checks the .deb that `make deb` built: its contents and their modes,
# lintian (no error, no warning), and, as root, that apt-get installs it
# and that removing it leaves nothing behind.
# Usage: packaging/check-deb.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
deb=$(ls "$build"/gen_*.deb)
echo "== $deb"

want="./usr/bin/gen
./usr/bin/ungen
./usr/share/bash-completion/completions/ungen
./usr/share/doc/gen/changelog.gz
./usr/share/doc/gen/copyright
./usr/share/man/man1/gen.1.gz
./usr/share/man/man1/ungen.1.gz"
got=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
dpkg-deb -c "$deb"
if [ "$got" != "$want" ]; then
  echo "unexpected package contents:" >&2
  diff <(echo "$want") <(echo "$got") >&2 || true
  exit 1
fi
owners=$(dpkg-deb -c "$deb" | awk '{ print $2 }' | sort -u)
[ "$owners" = "root/root" ] || { echo "files not owned by root: $owners" >&2; exit 1; }
modes=$(dpkg-deb -c "$deb" | awk '{ print substr($1, 1, 1) == "d" || $6 ~ /bin\// ? "0755 " $1 : "0644 " $1 }' |
  awk '$1 == "0755" && $2 !~ /^[d-]rwxr-xr-x$/ || $1 == "0644" && $2 != "-rw-r--r--"')
[ -z "$modes" ] || { echo "unexpected modes (built under a umask?): $modes" >&2; exit 1; }
for page in gen ungen; do
  dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/man/man1/$page.1.gz" | gzip -t
done

echo "== lintian"
lintian --tag-display-limit 0 "$deb" | tee "$build/lintian.txt" || true
if grep -q '^[EW]:' "$build/lintian.txt"; then
  echo "lintian reports errors or warnings" >&2
  exit 1
fi

if [ "$(id -u)" != 0 ]; then
  echo "== not root: install and removal not tried"
  exit 0
fi
if dpkg-query -W -f='${Status}' gen 2>/dev/null | grep -q 'install ok installed'; then
  echo "== a package named gen is installed already: install and removal not tried"
  exit 0
fi
echo "== install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" > /dev/null
trap 'DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq gen > /dev/null 2>&1 || true' EXIT
listed=$(dpkg -L gen)
dir=$(mktemp -d)
printf 'hello' > "$dir/flag"
(cd "$dir" && /usr/bin/gen > /dev/null && [ "$(/usr/bin/ungen -v)" = hello ])
rm -rf "$dir"
echo "== remove"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq gen > /dev/null
trap - EXIT
for f in $listed; do
  case $f in /usr/bin/*|/usr/share/doc/gen*|/usr/share/man/man1/gen.1.gz|/usr/share/man/man1/ungen.1.gz|/usr/share/bash-completion/completions/ungen)
    [ ! -e "$f" ] || { echo "left behind: $f" >&2; exit 1; } ;;
  esac
done
echo "== package checked"
