#!/usr/bin/env bash
# Non-blank lines of every text file under tests/ per folder (tests/ui by its
# subfolders), against those under src/ and tools/.
# The rule: test lines at most half of the product lines.
set -euo pipefail
cd "$(dirname "$0")/.."

nonblank() {  # "<count> <path>" for every text file git knows under the given paths
    git ls-files -z -- "$@" | xargs -0 -r grep -I -v -c -H '^[[:space:]]*$' 2>/dev/null |
        awk -F: '{print $NF, $1}'
}

nonblank tests | awk '{
    n = split($2, p, "/")
    key = p[1] "/" p[2]
    if (p[2] == "ui" && n > 3) key = key "/" p[3]
    sum[key] += $1; total += $1
} END {
    for (k in sum) printf "%-24s %6d\n", k, sum[k] | "sort"
    close("sort")
    printf "%-24s %6d\n", "tests", total
}'
product=$(nonblank src tools | awk '{s += $1} END {print s + 0}')
tests=$(nonblank tests | awk '{s += $1} END {print s + 0}')
printf '%-24s %6d\n' "src + tools" "$product"
awk -v t="$tests" -v p="$product" 'BEGIN {printf "%-24s %6.2f (at most 0.50)\n", "tests / product", t / p}'
