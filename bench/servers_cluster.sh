#!/usr/bin/env bash
# The content server as one process on SQLite next to 1, 2 and 4 processes on
# PostgreSQL behind nginx (scripts/cluster), and one on PostgreSQL without
# nginx (postgres-1-direct): pool page requests/s
# (wrk -t2 -c64 -d5s, a stranger's view, 20 seeded secrets) and posts/s
# (wrk -t2 -c16 -d5s, each post acknowledged only after its durable commit).
# ROUNDS rounds (default 3); each round runs every set-up once, in an order
# that alternates; prints every run, the medians and the ratio to the SQLite
# process of the same round. 127.0.0.1 only; every step bounded.
#   bench/servers_cluster.sh [path/to/murmelo]
set -euo pipefail
cd "$(dirname "$0")/.."

murmelo=${1:-build-rel/tools/murmelo/murmelo}
rounds=${ROUNDS:-3}
for tool in wrk nginx curl python3 "$murmelo"; do
  command -v "$tool" >/dev/null || { echo "servers_cluster: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d /tmp/murmelo-cluster-bench-XXXXXX)
export CLUSTER_STATE=$work/cluster MURMELO=$murmelo CLUSTER_SEED=1
single_pid=""
cleanup() {
  [ -n "$single_pid" ] && kill "$single_pid" 2>/dev/null || true
  scripts/cluster stop >/dev/null 2>&1 || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

host=secrets.murmelo.example
cat >"$work/post.lua" <<'LUA'
wrk.method = "POST"
wrk.body = "Secret%5Bcontent%5D=A+benchmark+secret%2C+long+enough+to+look+like+a+real+one.&Secret%5BappName%5D=bench"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
LUA

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

measure() { # name port → one line: name pool_rps posts_rps non2xx
  local url="http://127.0.0.1:$2/index.php"
  timeout 30 wrk -t2 -c64 -d5s -H "Host: $host" "$url" >"$work/pool.txt"
  timeout 30 wrk -t2 -c16 -d5s -H "Host: $host" -s "$work/post.lua" "$url?r=secret/create" >"$work/post.txt"
  local bad
  bad=$(cat "$work/pool.txt" "$work/post.txt" | awk '/Non-2xx/ {n += $NF} END {print n + 0}')
  echo "$1 $(awk '/^Requests\/sec:/ {print $2}' "$work/pool.txt") $(awk '/^Requests\/sec:/ {print $2}' "$work/post.txt") $bad"
}

run_setup() { # name
  case "$1" in
    sqlite-1)
      local port
      port=$(free_port)
      "$murmelo" serve --listen "127.0.0.1:$port" --data "$work/sqlite" --seed --quiet --duration 120 \
        >"$work/sqlite.log" 2>&1 &
      single_pid=$!
      for _ in $(seq 100); do
        curl -sf -o /dev/null --max-time 1 -H "Host: $host" "http://127.0.0.1:$port/index.php" && break
        sleep 0.1
      done
      measure "$1" "$port"
      kill "$single_pid"; wait "$single_pid" 2>/dev/null || true; single_pid=""
      rm -rf "$work/sqlite"
      ;;
    postgres-1-direct)
      # The one server without nginx in front: what the proxy hop costs.
      CLUSTER_PORT=$(free_port) scripts/cluster start 1 >/dev/null
      measure "$1" "$(sed -nE 's/.*server 127\.0\.0\.1:([0-9]+) .*/\1/p' "$CLUSTER_STATE/nginx.conf" | head -n 1)"
      scripts/cluster stop >/dev/null
      ;;
    postgres-*)
      local port
      port=$(free_port)
      CLUSTER_PORT=$port scripts/cluster start "${1#postgres-}" >/dev/null
      measure "$1" "$port"
      scripts/cluster stop >/dev/null
      ;;
  esac
}

setups=(sqlite-1 postgres-1-direct postgres-1 postgres-2 postgres-4)
for round in $(seq "$rounds"); do
  order=("${setups[@]}")
  if [ $((round % 2)) -eq 0 ]; then
    order=(postgres-4 postgres-2 postgres-1 postgres-1-direct sqlite-1)
  fi
  for setup in "${order[@]}"; do
    echo "$round $(run_setup "$setup")" | tee -a "$work/results" >&2
  done
done

echo "pool page req/s and posts/s, medians of $rounds rounds ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
python3 - "$work/results" <<'PY'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1])]
base = {(r[0]): r for r in rows if r[1] == "sqlite-1"}
print(f"  {'set-up':<12} {'pool req/s':>11} {'ratio':>6} {'posts/s':>9} {'ratio':>6} {'non-2xx':>8}")
for setup in dict.fromkeys(r[1] for r in rows):
    mine = [r for r in rows if r[1] == setup]
    pool = [float(r[2]) for r in mine]
    posts = [float(r[3]) for r in mine]
    pool_ratio = [float(r[2]) / float(base[r[0]][2]) for r in mine]
    post_ratio = [float(r[3]) / float(base[r[0]][3]) for r in mine]
    bad = sum(int(r[4]) for r in mine)
    print(f"  {setup:<12} {statistics.median(pool):>11.0f} {statistics.median(pool_ratio):>5.2f}x "
          f"{statistics.median(posts):>9.0f} {statistics.median(post_ratio):>5.2f}x {bad:>8}")
PY
