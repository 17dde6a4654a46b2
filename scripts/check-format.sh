#!/usr/bin/env bash
# Checks that every tracked C++ source and header follows the checked-in .clang-format
# style. Changes nothing; lists the files that differ and fails if there are any.
# Fix them with: clang-format -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."

format=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$format" ]; then
  echo "check-format: clang-format not found (bash scripts/install-deps.sh installs it)" >&2
  exit 2
fi

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
# One run over all files; each difference is reported as "FILE:LINE:COL: error: ...".
report=$("$format" --style=file --dry-run --Werror "${files[@]}" 2>&1 >/dev/null) && status=0 || status=$?
if [ "$status" -ne 0 ]; then
  unformatted=$(printf '%s\n' "$report" | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error:.*/\1/p' | sort -u)
  if [ -z "$unformatted" ]; then
    printf '%s\n' "$report" >&2
    echo "check-format: clang-format failed" >&2
  else
    echo "check-format: these files differ from the .clang-format style:" >&2
    printf '  %s\n' $unformatted >&2
  fi
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
