#!/usr/bin/env bash
# PackageTest.sh BUILD_DIR SOURCE_DIR: the .deb made from the build as it is, unpacked with dpkg -x:
# its files, dependencies, udev reload after install, and kelvastra-cli --version run from it.
set -euo pipefail
build="$1"
scratch="$(mktemp -d -t kelvastra-package.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb="$("$2/scripts/package.sh" --no-build --build-dir "$build" --out "$scratch/out" \
    2>"$scratch/log")" || { cat "$scratch/log" >&2; fail "package.sh"; }
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
programs=(kelvastra-cli kelvastra-sim)
[ -x "$build/src/kelvastra" ] && programs+=(kelvastra)
for p in "${programs[@]}"; do
  [ -x "$root/usr/bin/$p" ] || fail "usr/bin/$p missing"
  [[ "$(zcat "$root/usr/share/man/man1/$p.1.gz")" == *'\-\-version'* ]] || fail "man page of $p"
done
for f in applications/kelvastra.desktop icons/hicolor/scalable/apps/kelvastra.svg \
    kelvastra/samples/sample.tmt ../lib/udev/rules.d/99-kelvastra.rules; do
  [ -f "$root/usr/share/$f" ] || fail "$f missing"
done
depends="$(dpkg-deb -f "$deb" Depends)"
for d in libqt6serialport6 libc6 qt6-qpa-plugins; do
  [[ "$depends" == *"$d"* ]] || fail "Depends lacks $d: $depends"
done
dpkg-deb -e "$deb" "$scratch/control"
grep -q 'udevadm control --reload-rules' "$scratch/control/postinst" || fail "postinst"
version="$(env -u LD_LIBRARY_PATH "$root/usr/bin/kelvastra-cli" --version)"
[[ "$version" == "kelvastra-cli $(dpkg-deb -f "$deb" Version | cut -d- -f1)"* ]] || fail "$version"
