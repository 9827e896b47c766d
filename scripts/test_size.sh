#!/usr/bin/env bash
# test_size.sh: lines of test code (every text file under tests/ and fuzz/, expected outputs
# included) against lines of product C and C++ code (everything else but bench/ and scripts/).
# Prints one line; fails when the tests pass 40% of the product.
set -euo pipefail
cd "$(dirname "$0")/.."
product=$(git ls-files | grep -E '\.(c|cc|cpp|h|hpp)$' | grep -v -E '^(tests|fuzz|bench|scripts)/' |
  xargs cat | wc -l)
tests=0
while IFS= read -r f; do
  if file -b --mime "$f" | grep -q '^text'; then tests=$((tests + $(wc -l <"$f"))); fi
done < <(git ls-files tests fuzz)
tenths=$((tests * 1000 / product))
echo "test size: $tests lines of tests and fuzz targets, $product lines of product code: $((tenths / 10)).$((tenths % 10))% (at most 40%)"
[ $((tests * 100)) -le $((product * 40)) ]
