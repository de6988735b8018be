#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Requests per second of the status server next to nginx serving the same bytes as static files.
# Both on 127.0.0.1, one connection per request (Connection: close, nginx keepalive_timeout 0,
# one nginx worker), 1 and 4 connections, 10 seconds each, with wrk.
#   scripts/measure_http.sh [BUILD_DIR]   (default /tmp/build-server-rel, the release preset)
# Needs: wrk, nginx-light, libjpeg-turbo-progs (cjpeg), curl.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-/tmp/build-server-rel}"
ours_port="${OURS_PORT:-18700}"
nginx_port="${NGINX_PORT:-18701}"
seconds="${SECONDS_PER_RUN:-10}"

if [[ ! -x "$build/bench/server_bench" ]]; then
  cmake --preset release -B "$build" >/dev/null
  cmake --build "$build" -j2 --target server_bench
fi
bench_bin="$(cd "$build/bench" && pwd)/server_bench"

work="$(mktemp -d /tmp/blipcount-http.XXXXXX)"
server_pid=""
nginx_pid=""
stop_all() {
  [[ -n "$server_pid" ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap stop_all EXIT

# The picture: a graph-sized bitmap through cjpeg, as the graph window makes it.
mkdir -p "$work/serve" "$work/www" "$work/nginx"
chmod 755 "$work"  # nginx's worker runs as another user when started as root
(cd "$work/serve" && "$bench_bin" --bitmap blipcount.bmp 640 400 &&
  cjpeg -progressive -outfile blipcount.jpg blipcount.bmp)

(cd "$work/serve" && exec "$bench_bin" --serve "$ours_port") &
server_pid=$!
for _ in $(seq 50); do
  curl -s -o /dev/null "http://127.0.0.1:$ours_port/" && break
  sleep 0.1
done

# nginx serves the very bytes: the page body and the picture as the status server sends them.
curl -s -o "$work/www/index.html" "http://127.0.0.1:$ours_port/"
cp "$work/serve/blipcount.jpg" "$work/www/blipcount.jpg"
chmod -R a+rX "$work/www"
cmp -s <(curl -s "http://127.0.0.1:$ours_port/blipcount.jpg") "$work/www/blipcount.jpg" ||
  { echo "the picture served differs from its file" >&2; exit 1; }
cat >"$work/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  keepalive_timeout 0;
  sendfile on;
  types { text/html html; image/jpeg jpg; }
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    index index.html;
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
nginx_pid=$!
for _ in $(seq 50); do
  curl -s -o /dev/null "http://127.0.0.1:$nginx_port/" && break
  sleep 0.1
done
cmp -s <(curl -s "http://127.0.0.1:$nginx_port/index.html") "$work/www/index.html" ||
  { echo "nginx does not serve the page" >&2; exit 1; }

page_bytes=$(stat -c %s "$work/www/index.html")
picture_bytes=$(stat -c %s "$work/www/blipcount.jpg")
echo "page body $page_bytes bytes, picture $picture_bytes bytes; $seconds s per run"
echo "(wrk counts each response that ends at the close, as the status server's do, as one read"
echo " error too: 'read errors' equal to 'responses' means every response arrived whole)"
printf '%-7s %-8s %5s %12s %10s %12s %s\n' server what conns requests/s responses read-errors other
run() {  # name what connections url
  local out rps responses reads other
  out=$(wrk -t1 -c"$3" -d"${seconds}s" -H 'Connection: close' "$4")
  rps=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
  responses=$(awk '/requests in/ {print $1}' <<<"$out")
  reads=$(sed -n 's/.*Socket errors:.*read \([0-9]*\).*/\1/p' <<<"$out")
  other=$(sed -n 's/.*Socket errors: connect \([0-9]*\), read [0-9]*, write \([0-9]*\), timeout \([0-9]*\).*/connect \1 write \2 timeout \3/p' <<<"$out")
  non2xx=$(awk '/Non-2xx/ {print "non-2xx " $NF}' <<<"$out")
  printf '%-7s %-8s %5s %12s %10s %12s %s\n' "$1" "$2" "$3" "$rps" "$responses" "${reads:-0}" \
    "${other:-none} ${non2xx}"
}
for c in 1 4; do
  run status page "$c" "http://127.0.0.1:$ours_port/"
  run nginx page "$c" "http://127.0.0.1:$nginx_port/index.html"
  run status picture "$c" "http://127.0.0.1:$ours_port/blipcount.jpg"
  run nginx picture "$c" "http://127.0.0.1:$nginx_port/blipcount.jpg"
done
