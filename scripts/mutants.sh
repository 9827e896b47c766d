#!/usr/bin/env bash
# mutants.sh N SEED: how many faults the tests catch.
# Draws N random single-operator mutants of the product code (client, driver, suite, display,
# parser, refcore, tools; not the OpenMAX headers, tests, fuzz targets or benchmarks; set
# OMX_MUTANTS_PATHS to git pathspecs, e.g. 'parser/*', to draw from fewer), rebuilds each in
# build-mutants/ and runs the tests against it. A mutant is killed when a test fails and fails
# again when run alone (a timing test that fails once under load does not count); it survives
# when every test passes. Mutants that do not compile are drawn again, so N always counts
# mutants that built. Prints one line per mutant and the kill rate; the survivors' lines are the
# places to look for missing tests. The tree is restored after each mutant. OMX_MUTANTS_TESTS, a
# ctest regular expression, runs only the tests it names (e.g. one module's tests), which makes
# a run of many mutants affordable.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ $# -ne 2 ] || ! [[ $1 =~ ^[0-9]+$ ]] || ! [[ $2 =~ ^[0-9]+$ ]]; then
  echo "usage: mutants.sh N SEED" >&2
  exit 2
fi
count=$1
seed=$2
build=${OMX_MUTANTS_BUILD:-$root/build-mutants}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" >/dev/null
# shellcheck source=xvfb.sh
source scripts/xvfb.sh

select=()
[ -z "${OMX_MUTANTS_TESTS:-}" ] || select=(-R "$OMX_MUTANTS_TESTS")
run_tests() { ctest --test-dir "$build" -j2 --timeout 300 --stop-on-failure "${select[@]}" "$@" >"$build/mutant.log" 2>&1; }
if ! run_tests && ! run_tests --rerun-failed -j1; then
  echo "mutants: the tests fail without any mutant; see $build/mutant.log" >&2
  exit 1
fi

# Every mutation site, in a fixed order, then shuffled by SEED: "file<TAB>line<TAB>col<TAB>from<TAB>to".
sites=$(mktemp)
backup=$(mktemp)
current=""
restore() { [ -z "$current" ] || cp "$backup" "$current"; current=""; }
trap 'restore; rm -f "$sites" "$backup"' EXIT

read -r -a paths <<<"${OMX_MUTANTS_PATHS:-client/* driver/* suite/* display/* parser/* refcore/* tools/*}"
git ls-files -- "${paths[@]}" |
  grep -E '\.(c|cc|cpp|h)$' | python3 "$root/scripts/mutant_sites.py" "$seed" >"$sites"

killed=0 survived=0 built=0
while IFS=$'\t' read -r file line col from to && [ "$built" -lt "$count" ]; do
  current=$file
  cp "$file" "$backup"
  python3 - "$file" "$line" "$col" "$from" "$to" <<'EOF'
import sys
path, line, col, old, new = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
lines = open(path, encoding="utf-8").read().split("\n")
text = lines[line - 1]
assert text[col:col + len(old)] == old, (path, line, col, old)
lines[line - 1] = text[:col] + new + text[col + len(old):]
open(path, "w", encoding="utf-8").write("\n".join(lines))
EOF
  if ! cmake --build "$build" >/dev/null 2>&1; then
    restore
    continue
  fi
  built=$((built + 1))
  where="$file:$line '$from' -> '$to'"
  if run_tests; then
    survived=$((survived + 1))
    echo "mutant $built/$count $where survived"
  elif run_tests --rerun-failed -j1; then
    survived=$((survived + 1))
    echo "mutant $built/$count $where survived (a test failed once, passed alone)"
  else
    killed=$((killed + 1))
    first=$(grep -m1 -E '\*\*\*(Failed|Timeout|Exception)|Failed  ' "$build/mutant.log" | sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: //; s/ \.{2,}.*//')
    echo "mutant $built/$count $where killed by ${first:-a failing test}"
  fi
  restore
done <"$sites"
cmake --build "$build" >/dev/null

if [ "$built" -eq 0 ]; then
  echo "mutants: no mutant could be built" >&2
  exit 1
fi
echo "kill rate: $killed of $built killed, $survived survived ($((killed * 100 / built))%)"
