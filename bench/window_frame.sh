#!/usr/bin/env bash
# The window's cost per screen change beside the driver's `shot`: a frame
# (the renderer's bitmap, as the window gets it), the baseline `shot` (the
# same picture as PNG), and a wheel step (scroll + frame). Every case runs in
# its own process, the order alternating round by round; prints the median
# time per frame (wall, ms) and the median of the rounds' ratios to `shot`.
#   bench/window_frame.sh [path/to/window_frame_bench] [rounds (default 5)]
set -euo pipefail
cd "$(dirname "$0")/.."

bench=${1:-build-rel/bench/window_frame_bench}
rounds=${2:-5}
[ -x "$bench" ] || { echo "window_frame: $bench not found (build the Release tree)" >&2; exit 1; }
cases=(WindowFrame WindowScrollFrame ShotPNG)
results=$(mktemp /tmp/murmelo-window-frame-XXXXXX)
trap 'rm -f "$results"' EXIT

for ((round = 0; round < rounds; round++)); do
  order=("${cases[@]}")
  if ((round % 2 == 1)); then order=(ShotPNG WindowScrollFrame WindowFrame); fi
  for name in "${order[@]}"; do
    line=$(timeout 120 "$bench" --benchmark_filter="^BM_${name}\$" --benchmark_min_time=1 \
      --benchmark_format=csv 2>/dev/null | grep "^\"BM_${name}\"")
    case "$line" in
      *,true,*) echo "window_frame: $name failed: $line" >&2; exit 1 ;;
    esac
    echo "$name $(echo "$line" | cut -d, -f3) $round" >>"$results"
  done
done

median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
column() { awk -v n="$1" '$1 == n { print $2 }' "$results" | median; }
ratio() {
  awk -v n="$1" '$1 == "ShotPNG" { base[$3] = $2 } $1 == n { own[$3] = $2 }
    END { for (r in own) print own[r] / base[r] }' "$results" | median
}
echo "a frame of the pool screen (640x960), median of $rounds processes each (ms; ratio: median of the rounds' ratios to shot)"
printf '%-22s %8s %9s\n' "" wall "/shot"
for name in "${cases[@]}"; do
  printf '%-22s %8.2f %8.2fx\n' "$name" "$(column "$name")" "$(ratio "$name")"
done
