#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root and runs the
# unpacked programs. Skipped (exit 77) when the packaging tools are missing.
set -euo pipefail
source_dir="$1"
version="$2"
for tool in dpkg-buildpackage dh lintian help2man dpkg-deb; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (bash scripts/setup installs the packaging tools)"
    exit 77
  fi
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
bash "$source_dir/scripts/package" "$work/out" >"$work/package.log" 2>&1 || {
  tail -n 60 "$work/package.log"
  echo "FAIL: scripts/package"
  exit 1
}
deb="$work/out/tavro_${version}_$(dpkg --print-architecture).deb"
dpkg-deb -x "$deb" "$work/root"
fail() {
  echo "FAIL: $*"
  exit 1
}
out="$("$work/root/usr/bin/tavro-cli" --version)"
[ "$out" = "tavro-cli $version" ] || fail "tavro-cli --version printed '$out'"
"$work/root/usr/bin/tavro-sim" --help | grep -q "serve" || fail "tavro-sim --help"
for f in usr/bin/tavro usr/share/applications/tavro.desktop \
  usr/share/icons/hicolor/scalable/apps/tavro.svg \
  usr/share/man/man1/tavro.1.gz usr/share/man/man1/tavro-cli.1.gz usr/share/man/man1/tavro-sim.1.gz \
  usr/share/tavro/package/Language.ini usr/share/tavro/package/SwUpdate-source.ini \
  usr/share/doc/tavro/README.md.gz usr/share/doc/tavro/user-guide.md.gz; do
  [ -e "$work/root/$f" ] || fail "$f is not in the package"
done
zcat "$work/root/usr/share/man/man1/tavro-cli.1.gz" | grep -q "upgrade" ||
  fail "the tavro-cli manual page does not list its commands"
echo "PASS: $deb"
