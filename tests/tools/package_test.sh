#!/usr/bin/env bash
# The Debian package as a technician installs it: built with cpack, unpacked into a scratch root
# with dpkg -x, and run from there: --version names the module installed beside the tool, demo
# goes through a whole service cycle, and the man page and completion are in place.
#   package_test.sh <build-dir>
set -euo pipefail
build=$(cd "${1:?usage: $0 <build-dir>}" && pwd)
scratch=$(mktemp -d /tmp/norn-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/norn-service_*.deb)
info=$(dpkg-deb --field "$deb" Package Version)
echo "$info"
dpkg -x "$deb" "$scratch/root"
tool="$scratch/root/usr/bin/norn-service"

version=$("$tool" --version)
echo "$version"
[[ $version == *"module $scratch/root/usr/bin/../lib/norn/Brightwork_Norn.so "[0-9]* ]] ||
    { echo "package_test: --version does not name the installed module" >&2; exit 1; }
demo=$("$tool" --instrument "$scratch/instrument" demo)
[ "$(tail -1 <<<"$demo")" = "demo: every step succeeded" ] ||
    { echo "$demo"; echo "package_test: demo did not succeed from the package" >&2; exit 1; }
for file in usr/share/man/man1/norn-service.1 usr/share/bash-completion/completions/norn-service \
            usr/share/norn/norn-service.schema.json; do
    [ -s "$scratch/root/$file" ] || { echo "package_test: $file missing" >&2; exit 1; }
done
echo "package_test: installed from $(basename "$deb") and ran"
