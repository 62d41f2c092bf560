#!/bin/bash
# format.sh [--check] -- lays out every C++ file the repository tracks as .clang-format says, with Debian's
# clang-format. --check changes nothing: it lists the files whose layout differs and exits 1 when there
# are any.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

check=0
case "${1:-}" in
--check) check=1 ;;
"") ;;
*) echo "usage: format.sh [--check]" >&2; exit 2 ;;
esac

if ! command -v clang-format >/dev/null; then
    echo "format.sh: clang-format is missing (scripts/install-deps.sh test installs it)" >&2
    exit 2
fi

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ "$check" -eq 0 ]; then
    [ ${#files[@]} -eq 0 ] || clang-format -i --style=file "${files[@]}"
    exit 0
fi

# One run over all files; each place that differs is reported as "file:line:column: error: ...".
mapfile -t differing < <(clang-format --style=file --dry-run -Werror "${files[@]}" 2>&1 |
                         sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if [ ${#differing[@]} -gt 0 ]; then
    echo "format.sh: these files differ from .clang-format (scripts/format.sh lays them out):" >&2
    printf '  %s\n' "${differing[@]}" >&2
    exit 1
fi
