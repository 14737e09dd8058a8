#!/usr/bin/env bash
# Download throughput of dravelin-cli against dravelin-gateway over loopback,
# next to curl fetching the same URLs in the same run:
#   A: one 1 GiB article       (dravelin-cli download  vs  curl -o)
#   B: four 256 MiB articles   (dravelin-cli download --max 4  vs  four curls in parallel)
#   C: how long a stop takes   (SIGINT to exit while a download runs)
# Reports wall time, throughput and CPU time per byte, and the ratios.
# Use a release build:
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
#         -DDRAVELIN_BUILD_GUI=OFF -DDRAVELIN_BUILD_TESTS=OFF
#   cmake --build build-release --target dravelin-cli dravelin-gateway
#   bench/download-throughput.sh [build-release/bin] [target folder]
set -euo pipefail

BIN=${1:-build-release/bin}
TARGET=${2:-$(mktemp -d "${TMPDIR:-/var/tmp}/dravelin-bench.XXXXXX")}
ROUNDS=${ROUNDS:-5}
WORK=$(mktemp -d)
GW_PIDS=()
GIB=1073741824
QUARTER=268435456

cleanup() {
    for pid in "${GW_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$WORK" "$TARGET"/bench-*
}
trap cleanup EXIT
mkdir -p "$TARGET"

start_gateway() { # extra switches...; prints the port
    local out="$WORK/gw.$RANDOM"
    "$BIN/dravelin-gateway" --port 0 --group bench.big:1:1:=$GIB --group bench.quarter:4:1:=$QUARTER "$@" \
        >"$out" 2>/dev/null &
    GW_PIDS+=($!)
    while [ ! -s "$out" ]; do sleep 0.01; done
    head -1 "$out"
}

PORT=$(start_gateway)
BASE="http://127.0.0.1:$PORT"

# A data folder whose NewsGuy account points at a gateway; $1 port.
make_data() {
    local data="$WORK/data.$1"
    mkdir -p "$data"
    cat >"$data/Dravelin.ini" <<INI
[Account]
Subscriptions=1
[NewsGuy]
DownloadDomain=127.0.0.1:$1
HeaderDomain=127.0.0.1:$1
MaxDownloads=4
[Preferences]
UseProxy=0
MaxDownloads=4
MaxRetries=0
SaveQueue=1
LoadQueue=1
INI
    echo "$data"
}
DATA=$(make_data "$PORT")

queue() { # data folder, then group:index:size...
    local data=$1; shift
    "$BIN/dravelin-cli" --data-dir "$data" queue clear
    for item in "$@"; do
        IFS=: read -r group index size <<<"$item"
        "$BIN/dravelin-cli" --data-dir "$data" queue add --service 1 --size "$size" \
            --subject "$group $index" --decode-query "$group/$index/x" --path "$TARGET/bench-dravelin"
    done
}

# Runs a command, prints "wall user sys" (seconds) of it and its children.
timed() {
    /usr/bin/time -f '%e %U %S' "$@" >/dev/null 2>"$WORK/cmd.err" || true
    tail -1 "$WORK/cmd.err"
}

report() { # label bytes wall user sys
    awk -v l="$1" -v b="$2" -v w="$3" -v u="$4" -v s="$5" 'BEGIN {
        printf "%-34s %7.3f s %8.1f MB/s  cpu %6.3f s  %6.3f ns/byte\n", l, w, b / w / 1e6, u + s, (u + s) / b * 1e9 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

run_pair() { # label bytes dravelin-args... -- curl urls...
    local label=$1 bytes=$2; shift 2
    local dargs=() urls=()
    while [ "$1" != "--" ]; do dargs+=("$1"); shift; done
    shift
    urls=("$@")
    : >"$WORK/d.txt"; : >"$WORK/c.txt"
    for r in $(seq "$ROUNDS"); do
        rm -rf "$TARGET"/bench-*; mkdir -p "$TARGET/bench-dravelin"
        queue "$DATA" "${ARTICLES[@]}"
        sync
        read -r w u s < <(timed "$BIN/dravelin-cli" --data-dir "$DATA" download "${dargs[@]}")
        report "$label dravelin-cli #$r" "$bytes" "$w" "$u" "$s"
        echo "$w $(echo "$u + $s" | bc)" >>"$WORK/d.txt"
        rm -rf "$TARGET"/bench-*; mkdir -p "$TARGET/bench-curl"
        sync
        local script="cd '$TARGET/bench-curl'; i=0; for u in ${urls[*]}; do i=\$((i+1)); curl -s --noproxy '*' -o f\$i \"\$u\" & done; wait"
        read -r w u s < <(timed bash -c "$script")
        report "$label curl #$r" "$bytes" "$w" "$u" "$s"
        echo "$w $(echo "$u + $s" | bc)" >>"$WORK/c.txt"
    done
    local dw dc cw cc
    dw=$(cut -d' ' -f1 "$WORK/d.txt" | median); dc=$(cut -d' ' -f2 "$WORK/d.txt" | median)
    cw=$(cut -d' ' -f1 "$WORK/c.txt" | median); cc=$(cut -d' ' -f2 "$WORK/c.txt" | median)
    awk -v l="$label" -v b="$bytes" -v n="$ROUNDS" -v dw="$dw" -v dc="$dc" -v cw="$cw" -v cc="$cc" 'BEGIN {
        printf "%s, median of %d: dravelin %.1f MB/s, curl %.1f MB/s, throughput ratio %.2f; CPU dravelin %.3f ns/B, curl %.3f ns/B, ratio %.2f\n",
            l, n, b / dw / 1e6, b / cw / 1e6, cw / dw, dc / b * 1e9, cc / b * 1e9, dc / cc }'
}

echo "== A: one 1 GiB article"
ARTICLES=("bench.big:0:$GIB")
run_pair "1 GiB" "$GIB" -- "$BASE/news-bin/wwwdecode?bench.big/0/x"

echo "== B: four 256 MiB articles"
ARTICLES=("bench.quarter:0:$QUARTER" "bench.quarter:1:$QUARTER" "bench.quarter:2:$QUARTER" "bench.quarter:3:$QUARTER")
run_pair "4 x 256 MiB" "$GIB" --max 4 -- "$BASE/news-bin/wwwdecode?bench.quarter/0/x" \
    "$BASE/news-bin/wwwdecode?bench.quarter/1/x" "$BASE/news-bin/wwwdecode?bench.quarter/2/x" \
    "$BASE/news-bin/wwwdecode?bench.quarter/3/x"

echo "== C: stop (SIGINT to exit) while the 1 GiB article downloads"
stop_once() { # data folder, label
    local data=$1 label=$2
    rm -rf "$TARGET"/bench-*; mkdir -p "$TARGET/bench-dravelin"
    queue "$data" "bench.big:0:$GIB"
    "$BIN/dravelin-cli" --data-dir "$data" download >/dev/null 2>"$WORK/stop.err" &
    local pid=$!
    # Let it run until a few blocks are on disk.
    while [ "$(find "$TARGET/bench-dravelin" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')" -lt 20000000 ]; do
        sleep 0.01
    done
    local t0 t1
    t0=$(date +%s.%N)
    kill -INT "$pid"
    wait "$pid" || true
    t1=$(date +%s.%N)
    echo "$label: SIGINT to exit $(echo "($t1 - $t0) * 1000 / 1" | bc) ms; $(grep -o 'Downloads stopped in [0-9]* ms' "$WORK/stop.err"); $(tail -1 "$WORK/stop.err")"
}
for r in $(seq "$ROUNDS"); do stop_once "$DATA" "full speed #$r"; done
SLOW_PORT=$(start_gateway --throttle 20000000)
SLOW_DATA=$(make_data "$SLOW_PORT")
for r in $(seq "$ROUNDS"); do stop_once "$SLOW_DATA" "20 MB/s (one block = 51 ms) #$r"; done
