#!/usr/bin/env bash
# Installs what norn needs to build and test on Debian 12, and the packages named as arguments
# (e.g. valgrind). Idempotent: packages that are already present are skipped, and apt is not
# touched at all when nothing is missing.
set -euo pipefail

packages=(cmake ninja-build g++ g++-multilib make qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          strace python3 python3-jsonschema "$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
