#!/usr/bin/env bash
# The content server's pool page under load, side by side with nginx serving
# the same page as a static file: wrk, 2 threads, 64 connections, 10 s each,
# 127.0.0.1 only. Prints requests/s and p99 latency of both and the ratio.
#   bench/servers_wrk.sh [path/to/murmelo]
# Needs wrk, nginx and curl (scripts/bootstrap installs them). Bounded: every
# step has a time-out, and both servers are stopped on exit.
set -euo pipefail
cd "$(dirname "$0")/.."

murmelo=${1:-build/tools/murmelo/murmelo}
for tool in wrk nginx curl "$murmelo"; do
  command -v "$tool" >/dev/null || { echo "servers_wrk: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d /tmp/murmelo-wrk-XXXXXX)
murmelo_pid=""
nginx_pid=""
cleanup() {
  [ -n "$murmelo_pid" ] && kill "$murmelo_pid" 2>/dev/null || true
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
murmelo_port=$(free_port)
nginx_port=$(free_port)
host=secrets.murmelo.example

"$murmelo" serve --address 127.0.0.1 --port "$murmelo_port" --data "$work/data" --quiet --duration 120 \
  >"$work/murmelo.log" 2>&1 &
murmelo_pid=$!
for _ in $(seq 100); do
  curl -sf -o /dev/null --max-time 1 -H "Host: $host" "http://127.0.0.1:$murmelo_port/index.php" && break
  sleep 0.1
done

# 50 secrets; the pool page shows the newest 20 of them, as the app sees it.
for i in $(seq 50); do
  curl -sf -o /dev/null --max-time 5 -H "Host: $host" \
    --data "Secret%5Bcontent%5D=Benchmark+secret+number+$i%2C+long+enough+to+look+like+a+real+one.&Secret%5BappName%5D=MurmeloIP" \
    "http://127.0.0.1:$murmelo_port/index.php?r=secret/create"
done
mkdir -p "$work/www"
curl -sf --max-time 5 -H "Host: $host" "http://127.0.0.1:$murmelo_port/index.php" >"$work/www/index.html"

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
nginx_pid=$!
for _ in $(seq 100); do
  curl -sf -o /dev/null --max-time 1 "http://127.0.0.1:$nginx_port/index.html" && break
  sleep 0.1
done

run_wrk() { # name url [host]
  local extra=()
  [ -n "${3:-}" ] && extra=(-H "Host: $3")
  timeout 30 wrk -t2 -c64 -d10s --latency "${extra[@]}" "$2" >"$work/$1.txt"
  local rps p99
  rps=$(awk '/^Requests\/sec:/ {print $2}' "$work/$1.txt")
  p99=$(awk '$1 == "99%" {print $2}' "$work/$1.txt")
  echo "$1 $rps $p99"
}

murmelo_line=$(run_wrk murmelo "http://127.0.0.1:$murmelo_port/index.php" "$host")
nginx_line=$(run_wrk nginx "http://127.0.0.1:$nginx_port/index.html")
page_bytes=$(wc -c <"$work/www/index.html")

read -r _ m_rps m_p99 <<<"$murmelo_line"
read -r _ n_rps n_p99 <<<"$nginx_line"
ratio=$(python3 -c "print(f'{$m_rps / $n_rps:.2f}')")
printf 'pool page (%s bytes, 50 secrets), wrk -t2 -c64 -d10s on 127.0.0.1\n' "$page_bytes"
printf '  %-22s %12s req/s   p99 %s\n' "murmelo content server" "$m_rps" "$m_p99"
printf '  %-22s %12s req/s   p99 %s\n' "nginx static file" "$n_rps" "$n_p99"
printf '  ratio murmelo/nginx: %sx (goal: at least 0.3x, p99 under 20ms)\n' "$ratio"
grep -q 'Non-2xx' "$work/murmelo.txt" && { echo "murmelo answered errors:"; grep 'Non-2xx' "$work/murmelo.txt"; }
exit 0
