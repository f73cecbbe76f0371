#!/usr/bin/env bash
# The Debian package made from an existing build tree (nothing is rebuilt), unpacked with
# dpkg -x into a scratch root: the programs, man pages, desktop entry, icon, udev rule and sample
# are there, the dependencies are declared, the post-install step reloads udev, and
# kelvastra-cli --version runs from the unpacked tree.
#   PackageTest.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
scratch="$(mktemp -d -t kelvastra-package.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb="$("$source/scripts/package.sh" --no-build --build-dir "$build" --out "$scratch/out" \
    2>"$scratch/cpack.log")" || { cat "$scratch/cpack.log" >&2; fail "package.sh"; }
root="$scratch/root"
dpkg-deb -x "$deb" "$root"

programs=(kelvastra-cli kelvastra-sim)
[ -x "$build/src/kelvastra" ] && programs+=(kelvastra)
for p in "${programs[@]}"; do
  [ -x "$root/usr/bin/$p" ] || fail "usr/bin/$p missing"
  [[ "$(zcat "$root/usr/share/man/man1/$p.1.gz")" == *'\-\-version'* ]] || fail "man page of $p"
done
for f in usr/share/applications/kelvastra.desktop usr/share/icons/hicolor/scalable/apps/kelvastra.svg \
    usr/lib/udev/rules.d/99-kelvastra.rules usr/share/kelvastra/samples/sample.tmt; do
  [ -f "$root/$f" ] || fail "$f missing"
done
[[ "$(zcat "$root/usr/share/man/man1/kelvastra-cli.1.gz")" == *doctor* ]] || fail "no subcommands in the man page"

depends="$(dpkg-deb -f "$deb" Depends)"
for d in libqt6serialport6 libqt6core6 libc6 qt6-qpa-plugins; do
  [[ "$depends" == *"$d"* ]] || fail "Depends lacks $d: $depends"
done
dpkg-deb -e "$deb" "$scratch/control"
grep -q 'udevadm control --reload-rules' "$scratch/control/postinst" || fail "postinst"
[ -x "$scratch/control/postinst" ] || fail "postinst is not executable"

version="$(env -u LD_LIBRARY_PATH "$root/usr/bin/kelvastra-cli" --version)"
[[ "$version" == "kelvastra-cli $(dpkg-deb -f "$deb" Version | cut -d- -f1)"* ]] \
  || fail "--version printed: $version"
echo "ok: $(basename "$deb") ($(du -k "$deb" | cut -f1) kB)"
