#!/usr/bin/env bash
# Instructions per small GET of the calling thread, counted by callgrind: a
# figure the machine's load does not move, to compare builds and libcurl.
# Each case runs twice under callgrind (a short and a longer run); the
# difference of the two, divided by the difference of their GET counts,
# leaves out what is done once (start-up, the first connection).
#   bench/http_small_get_instructions.sh [path/to/http_bench ...]
# Needs valgrind (scripts/bootstrap installs it). About a minute per binary.
set -euo pipefail
cd "$(dirname "$0")/.."

binaries=("$@")
[ ${#binaries[@]} -eq 0 ] && binaries=(build-rel/bench/http_bench)
command -v valgrind >/dev/null || { echo "http_small_get_instructions: valgrind not found" >&2; exit 1; }
work=$(mktemp -d /tmp/murmelo-http-ir-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Prints "instructions calls" of the calling thread for one run.
measure() { # binary case min_time
  local out="$work/cg"
  rm -f "$out"*
  timeout 300 valgrind --tool=callgrind --separate-threads=yes --callgrind-out-file="$out" \
    "$1" --benchmark_filter="^BM_SmallGet_$2\$" --benchmark_min_time="$3" >/dev/null 2>&1
  local file="$out-01" # the main thread: the server's thread is another
  local total calls pattern
  total=$(callgrind_annotate --threshold=100 --inclusive=yes "$file" 2>/dev/null |
    awk -v f="BM_SmallGet_$2(benchmark" '!done && index($0, f) { gsub(",", "", $1); print $1; done = 1 }')
  case $2 in
    ASIHTTPRequest) pattern='ASIHTTPRequest::start()' ;;
    Transport) pattern='Transport::create(murmelo::TransportRequest) ' ;;
    *) pattern='curl_easy_perform ' ;;
  esac
  # The caller line above the function's own line names the benchmark and
  # how often it called the function (no count shown means once).
  calls=$(callgrind_annotate --threshold=100 --tree=caller --inclusive=yes "$file" 2>/dev/null |
    awk -v p="$pattern" 'index($0, "< ???:BM_SmallGet") { caller = $0; next }
      !done && index($0, "*  ") && index($0, p) && caller != "" { print caller; done = 1 } { caller = "" }' |
    sed -nE 's/.*\(([0-9,]+)x\).*/\1/p' | tr -d ,)
  echo "$total ${calls:-1}"
}

printf '%-40s %-18s %12s\n' binary case "instr/GET"
for binary in "${binaries[@]}"; do
  for name in ASIHTTPRequest Transport CurlEasyBaseline; do
    read -r short shortCalls < <(measure "$binary" "$name" 0.4)
    read -r long longCalls < <(measure "$binary" "$name" 1.6)
    if ((longCalls <= shortCalls)); then
      echo "http_small_get_instructions: $name ran as often in both runs; the machine is too busy" >&2
      exit 1
    fi
    printf '%-40s %-18s %12d\n' "$binary" "$name" $(((long - short) / (longCalls - shortCalls)))
  done
done
