#!/usr/bin/env bash
# The content server's pool page under load, side by side with nginx serving
# the same page as a static file: wrk, 2 threads, 64 connections, 10 s each,
# 127.0.0.1 only. ROUNDS rounds (default 3), each running every murmelo given
# and nginx in turn; prints requests/s and p99 of every run, the ratio to the
# nginx run of the same round, and the medians.
#   bench/servers_wrk.sh [path/to/murmelo [path/to/other/murmelo ...]]
# Needs wrk, nginx and curl (scripts/bootstrap installs them). Bounded: every
# step has a time-out, and all servers are stopped on exit.
set -euo pipefail
cd "$(dirname "$0")/.."

binaries=("$@")
[ ${#binaries[@]} -eq 0 ] && binaries=(build/tools/murmelo/murmelo)
rounds=${ROUNDS:-3}
for tool in wrk nginx curl python3 "${binaries[@]}"; do
  command -v "$tool" >/dev/null || { echo "servers_wrk: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d /tmp/murmelo-wrk-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
host=secrets.murmelo.example
ports=()
for index in "${!binaries[@]}"; do
  port=$(free_port)
  ports+=("$port")
  "${binaries[$index]}" serve --address 127.0.0.1 --port "$port" --data "$work/data$index" --quiet \
    --duration $((rounds * 60 + 60)) >"$work/murmelo$index.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    curl -sf -o /dev/null --max-time 1 -H "Host: $host" "http://127.0.0.1:$port/index.php" && break
    sleep 0.1
  done
  # 50 secrets; the pool page shows the newest 20 of them, as the app sees it.
  for i in $(seq 50); do
    curl -sf -o /dev/null --max-time 5 -H "Host: $host" \
      --data "Secret%5Bcontent%5D=Benchmark+secret+number+$i%2C+long+enough+to+look+like+a+real+one.&Secret%5BappName%5D=MurmeloIP" \
      "http://127.0.0.1:$port/index.php?r=secret/create"
  done
done
mkdir -p "$work/www"
# nginx started by root serves as "nobody": mktemp's private folder would answer 403s.
chmod 755 "$work" "$work/www"
curl -sf --max-time 5 -H "Host: $host" "http://127.0.0.1:${ports[0]}/index.php" >"$work/www/index.html"
chmod 644 "$work/www/index.html"

nginx_port=$(free_port)
cat >"$work/nginx.conf" <<CONF
worker_processes 2;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/tmp; proxy_temp_path $work/tmp; fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp; scgi_temp_path $work/tmp;
  default_type text/html;
  server { listen 127.0.0.1:$nginx_port; root $work/www; }
}
CONF
mkdir -p "$work/tmp"
nginx -p "$work" -c "$work/nginx.conf" &
pids+=($!)
for _ in $(seq 100); do
  curl -sf -o /dev/null --max-time 1 "http://127.0.0.1:$nginx_port/index.html" && break
  sleep 0.1
done
cmp -s "$work/www/index.html" <(curl -sf --max-time 5 "http://127.0.0.1:$nginx_port/index.html") ||
  { echo "servers_wrk: nginx does not serve the page" >&2; exit 1; }

run_wrk() { # output url [host]
  local extra=()
  [ -n "${3:-}" ] && extra=(-H "Host: $3")
  timeout 30 wrk -t2 -c64 -d10s --latency "${extra[@]}" "$2" >"$1"
  if grep -q 'Non-2xx' "$1"; then
    echo "servers_wrk: errors answered:" >&2
    grep 'Non-2xx' "$1" >&2
  fi
  echo "$(awk '/^Requests\/sec:/ {print $2}' "$1") $(awk '$1 == "99%" {print $2}' "$1")"
}

results="$work/results"
for round in $(seq "$rounds"); do
  # nginx first in odd rounds, last in even ones, so neither always runs on a warmer machine.
  order=(nginx "${!binaries[@]}")
  [ $((round % 2)) -eq 0 ] && order=("${!binaries[@]}" nginx)
  declare -A line=()
  for who in "${order[@]}"; do
    if [ "$who" = nginx ]; then
      line[nginx]=$(run_wrk "$work/wrk.txt" "http://127.0.0.1:$nginx_port/index.html")
    else
      line[$who]=$(run_wrk "$work/wrk.txt" "http://127.0.0.1:${ports[$who]}/index.php" "$host")
    fi
  done
  for index in "${!binaries[@]}"; do
    echo "$round	${binaries[$index]}	${line[$index]}	${line[nginx]}" >>"$results"
  done
  unset line
done

printf 'pool page (%s bytes, 50 secrets), wrk -t2 -c64 -d10s on 127.0.0.1, %s rounds\n' \
  "$(wc -c <"$work/www/index.html")" "$rounds"
python3 - "$results" <<'PY'
import re, statistics, sys
def ms(text):
    value, unit = re.fullmatch(r"([\d.]+)(us|ms|s)", text).groups()
    return float(value) * {"us": 0.001, "ms": 1, "s": 1000}[unit]
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1])]
for binary in dict.fromkeys(r[1] for r in rows):
    mine = [r for r in rows if r[1] == binary]
    print(f"  {binary}")
    ratios, ours_p99, nginx_p99, ours_rps, nginx_rps = [], [], [], [], []
    for r in mine:
        rps, p99 = r[2].split()
        n_rps, n_p99 = r[3].split()
        ratios.append(float(rps) / float(n_rps))
        ours_rps.append(float(rps)); nginx_rps.append(float(n_rps))
        ours_p99.append(ms(p99)); nginx_p99.append(ms(n_p99))
        print(f"    round {r[0]}: {float(rps):9.0f} req/s p99 {ms(p99):6.2f} ms | nginx {float(n_rps):9.0f} req/s "
              f"p99 {ms(n_p99):6.2f} ms | ratio {ratios[-1]:.2f}x")
    print(f"    median: {statistics.median(ours_rps):.0f} req/s, p99 {statistics.median(ours_p99):.2f} ms; "
          f"nginx {statistics.median(nginx_rps):.0f} req/s, p99 {statistics.median(nginx_p99):.2f} ms; "
          f"ratio {statistics.median(ratios):.2f}x (goal: at least 0.6x, p99 under 5 ms)")
PY
