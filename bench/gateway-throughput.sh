#!/usr/bin/env bash
# Loopback throughput of dravelin-gateway: start-up time, a 100,000-article
# NewsGuy listing, an EasyNews day page and a 1 GiB download, each fetched
# with curl into /dev/null. Use a release build:
#   cmake --preset default && cmake --build build --target dravelin-gateway
#   bench/gateway-throughput.sh [path/to/dravelin-gateway]
set -euo pipefail

BIN=${1:-build/bin/dravelin-gateway}
ARTICLES=${ARTICLES:-100000}
ROUNDS=${ROUNDS:-3}
WORK=$(mktemp -d)
GW_PID=

cleanup() {
    if [ -n "$GW_PID" ]; then kill "$GW_PID" 2>/dev/null || true; wait "$GW_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

t0=$(date +%s.%N)
"$BIN" --port 0 --articles "$ARTICLES" --group bench.big:1:1:=1073741824 >"$WORK/out" 2>"$WORK/err" &
GW_PID=$!
while [ ! -s "$WORK/out" ]; do sleep 0.01; done
t1=$(date +%s.%N)
PORT=$(head -1 "$WORK/out")
BASE="http://127.0.0.1:$PORT"
echo "start-up: $(echo "$t1 - $t0" | bc) s (port $PORT)"

measure() { # label url
    for _ in $(seq "$ROUNDS"); do
        curl -s --noproxy '*' -o /dev/null -w '%{size_download} %{time_total}\n' "$2"
    done | awk -v label="$1" '{ printf "%-32s %12d bytes %8.3f s %9.1f MB/s\n", label, $1, $2, $1 / $2 / 1e6 }'
}

measure "NewsGuy listing ($ARTICLES)" "$BASE/news-bin/wwwlist?-sz,b1,o,n100000+alt.test"
measure "EasyNews day page" "$BASE/g/alt.test/0-1.html"
measure "1 GiB download" "$BASE/news-bin/wwwdecode?bench.big/0/x"
