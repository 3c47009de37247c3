#!/usr/bin/env bash
# Installs what the fuzz targets need on Debian 12: everything scripts/install-deps.sh installs,
# and clang 14 (as clang and clang++) with its sanitizer and libFuzzer runtimes. Idempotent, as
# install-deps.sh is.
set -euo pipefail
exec "$(dirname "$0")/install-deps.sh" clang clang-14 libclang-rt-14-dev
