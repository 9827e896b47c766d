#!/usr/bin/env bash
# format.sh [--check]: formats every C and C++ file of the project with the root .clang-format;
# with --check it changes nothing and fails on the first file that is not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(-i)
[ "${1:-}" = --check ] && mode=(--dry-run -Werror)
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format "${mode[@]}"
