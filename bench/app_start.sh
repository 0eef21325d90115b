#!/usr/bin/env bash
# The application's start: time from process start to its first pool request
# (as the content server records it) and its peak resident memory once the
# pool is loaded (GNU time's maximum RSS of `murmelo run` settling on the pool
# and quitting). Each murmelo given is run RUNS times (default 3), alternately,
# against one `murmelo serve --seed` on 127.0.0.1; prints every run and the
# medians.
#   bench/app_start.sh [path/to/murmelo [path/to/other/murmelo ...]]
# Needs curl, python3 and /usr/bin/time. Bounded: every step has a time-out and
# the server is stopped on exit.
set -euo pipefail
cd "$(dirname "$0")/.."

binaries=("$@")
[ ${#binaries[@]} -eq 0 ] && binaries=(build/tools/murmelo/murmelo)
runs=${RUNS:-3}
for tool in curl python3 /usr/bin/time "${binaries[@]}"; do
  command -v "$tool" >/dev/null || { echo "app_start: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d /tmp/murmelo-start-XXXXXX)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"${binaries[0]}" serve --address 127.0.0.1 --port "$port" --data "$work/data" --seed --quiet --duration 600 \
  >"$work/serve.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
  curl -sf -o /dev/null --max-time 1 "http://127.0.0.1:$port/" && break
  sleep 0.1
done

printf 'settle 20\nquit\n' >"$work/script"
results="$work/results"
for run in $(seq "$runs"); do
  for binary in "${binaries[@]}"; do
    curl -sf -o /dev/null --max-time 5 -X DELETE "http://127.0.0.1:$port/_events"
    rm -rf "$work/home"
    start=$(date +%s.%N)
    timeout 60 /usr/bin/time -f %M -o "$work/rss" "$binary" run --home "$work/home" \
      --connect-to "::127.0.0.1:$port" --script "$work/script" >"$work/run.log" 2>&1
    curl -sf --max-time 5 "http://127.0.0.1:$port/_events?role=content" >"$work/events.json"
    python3 - "$binary" "$start" "$(tail -1 "$work/rss")" "$work/events.json" >>"$results" <<'PY'
import json, sys
binary, start, rss_kb, events = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
times = [e["time"] for e in json.load(open(events))
         if e.get("path") in ("/index.php", "/") and "r=" not in e.get("query", "")]
first = min(times) - start if times else float("nan")
print(f"{binary}\t{first:.3f}\t{rss_kb / 1024:.1f}")
PY
  done
done

echo "app start: process start to first pool request (s), peak RSS with the pool loaded (MB)"
python3 - "$results" <<'PY'
import statistics, sys
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1])]
for binary in dict.fromkeys(r[0] for r in rows):
    mine = [r for r in rows if r[0] == binary]
    starts = [float(r[1]) for r in mine]
    rss = [float(r[2]) for r in mine]
    print(f"  {binary}")
    print(f"    runs: " + ", ".join(f"{s:.3f} s / {m:.1f} MB" for s, m in zip(starts, rss)))
    print(f"    median: first pool request after {statistics.median(starts):.3f} s, "
          f"peak RSS {statistics.median(rss):.1f} MB")
PY
