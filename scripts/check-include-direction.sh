#!/usr/bin/env bash
# Checks that the module's folders stack one way: an include inside module/ may go to a header of
# the same rank or a lower one, never a higher one. The ranks are those of README's "Layout":
#   include/ (the shared interface) below all, errors/ 0, rot/ 1, reports/ 2, driver/ and files/ 3,
#   operations/ 4, host/ 5.
# A folder of module/ that has no rank here fails too, so that a new folder is ranked before it is
# used. Lists every offending include and exits 1; otherwise prints one line and exits 0.
#   scripts/check-include-direction.sh
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A rank=(
    [include]=-1 [errors]=0 [rot]=1 [reports]=2 [driver]=3 [files]=3 [operations]=4 [host]=5
)

offences=()
includes=0
files=0
while IFS= read -r file; do
    files=$((files + 1))
    from=${file#module/}
    from=${from%%/*}
    if [[ -z ${rank[$from]+ranked} ]]; then
        offences+=("$file: folder module/$from/ has no rank")
        continue
    fi
    # Every #include "a/b.h" or <a/b.h> whose first component is a folder of module/.
    while IFS=: read -r line target; do
        to=${target%%/*}
        [[ -d module/$to && $to != "$target" ]] || continue
        includes=$((includes + 1))
        if [[ -z ${rank[$to]+ranked} ]]; then
            offences+=("$file:$line: includes $target, and module/$to/ has no rank")
        elif ((rank[$to] > rank[$from])); then
            offences+=("$file:$line: includes $target ($from/ rank ${rank[$from]} -> $to/ rank ${rank[$to]})")
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "$file" |
        sed -nE 's@^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]+)[">].*@\1:\2@p')
done < <(find module -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if ((${#offences[@]} > 0)); then
    printf '%s\n' "${offences[@]}"
    echo "include direction: ${#offences[@]} offending include(s) in module/" >&2
    exit 1
fi
echo "include direction OK: $includes includes between module folders in $files files run to the same or a lower rank"
