#!/usr/bin/env bash
# Small-GET request overhead side by side: ASIHTTPRequest, the bare device
# Transport and one reused libcurl easy handle, each a sequential kept-alive
# GET on loopback. Runs every case in its own process, alternating the order
# round by round so a change in the machine's load hits each alike, then
# prints the median wall and CPU time (the calling thread's) per GET, and the
# median over the rounds of each round's ratio to libcurl (the processes of
# one round ran back to back, so the ratio follows the machine's load less
# than the times do).
#   bench/http_small_get.sh [path/to/http_bench] [rounds (default 5)] [path/to/older/http_bench]
# An older build given third joins the rotation with its ASIHTTPRequest and
# Transport cases (labelled "before"), so before and after are measured in
# the same run.
set -euo pipefail
cd "$(dirname "$0")/.."

bench=${1:-build-rel/bench/http_bench}
rounds=${2:-5}
before=${3:-}
[ -x "$bench" ] || { echo "http_small_get: $bench not found (build the Release tree)" >&2; exit 1; }
cases=(ASIHTTPRequest Transport CurlEasyBaseline)
runs=("$bench:ASIHTTPRequest" "$bench:Transport" "$bench:CurlEasyBaseline")
if [ -n "$before" ]; then
  [ -x "$before" ] || { echo "http_small_get: $before not found" >&2; exit 1; }
  cases=(ASIHTTPRequest Transport before:ASIHTTPRequest before:Transport CurlEasyBaseline)
  runs=("$bench:ASIHTTPRequest" "$bench:Transport" "$before:before:ASIHTTPRequest" "$before:before:Transport"
    "$bench:CurlEasyBaseline")
fi
results=$(mktemp /tmp/murmelo-http-small-get-XXXXXX)
trap 'rm -f "$results"' EXIT

for ((round = 0; round < rounds; round++)); do
  order=("${runs[@]}")
  if ((round % 2 == 1)); then
    order=()
    for ((i = ${#runs[@]} - 1; i >= 0; i--)); do order+=("${runs[$i]}"); done
  fi
  for run in "${order[@]}"; do
    binary=${run%%:*}
    label=${run#*:}
    name=${label#before:}
    line=$(timeout 120 "$binary" --benchmark_filter="^BM_SmallGet_${name}\$" --benchmark_min_time=1 \
      --benchmark_format=csv 2>/dev/null | grep "^\"BM_SmallGet_${name}\"")
    case "$line" in
      *,true,*) echo "http_small_get: $label failed: $line" >&2; exit 1 ;;
    esac
    echo "$label $(echo "$line" | cut -d, -f3,4 | tr , ' ') $round" >>"$results"
  done
done

median() { # reads numbers, prints their median
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
column() { # name column
  awk -v n="$1" -v c="$2" '$1 == n { print $c }' "$results" | median
}
ratio() { # name column: the median of the per-round ratios to libcurl
  awk -v n="$1" -v c="$2" '$1 == "CurlEasyBaseline" { base[$4] = $c } $1 == n { own[$4] = $c }
    END { for (r in own) print own[r] / base[r] }' "$results" | median
}
echo "small GET, median of $rounds processes each (µs per GET; ratios: median of the rounds' ratios)"
printf '%-23s %8s %8s %10s %9s\n' "" wall CPU wall/curl CPU/curl
for name in "${cases[@]}"; do
  label=$name
  [ "$name" = CurlEasyBaseline ] && label="libcurl easy"
  printf '%-23s %8.1f %8.1f %9.2fx %8.2fx\n' "$label" "$(column "$name" 2)" "$(column "$name" 3)" \
    "$(ratio "$name" 2)" "$(ratio "$name" 3)"
done
