#!/usr/bin/env bash
# CI's first stage, fast, so that a formatting slip, a warning or a tidy finding is found first:
#   1. every C++ file as clang-format leaves it;
#   2. no include inside module/ runs from a lower folder to a higher one;
#   3. the product code (platform, module, firmware, kxdiag, tools) built with warnings as errors
#      (preset ci, build/ci);
#   4. clang-tidy (.clang-tidy) over module/ and tools/.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== format"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"

echo "== include direction"
if [ -x scripts/check-include-direction.sh ]; then scripts/check-include-direction.sh; fi

echo "== warnings as errors"
cmake --preset ci >/dev/null
cmake --build --preset ci

echo "== clang-tidy"
# clang does not know GCC's -fno-gnu-unique (see module/CMakeLists.txt): tidy reads a copy of the
# compilation database without it.
mkdir -p build/ci/tidy
sed 's/ -fno-gnu-unique//g' build/ci/compile_commands.json >build/ci/tidy/compile_commands.json
mapfile -t tidied < <(git ls-files 'module/*.cpp' 'tools/*.cpp')
run-clang-tidy -quiet -p build/ci/tidy -j "$(nproc)" "${tidied[@]}" >build/ci/tidy.log 2>&1 ||
    { grep -E "warning:|error:" build/ci/tidy.log | sort -u; echo "ci-quick: clang-tidy found the above" >&2; exit 1; }
echo "ci-quick: format, include direction, warnings and tidy are clean"
